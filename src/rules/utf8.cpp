#include "rules/utf8.h"

namespace updater {

std::size_t Utf8SequenceLength(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead == 0xE0) length = 3, low = 0xA0;
    else if (lead == 0xED) length = 3, high = 0x9F;  // no surrogates
    else if (lead >= 0xE1 && lead <= 0xEF) length = 3;
    else if (lead == 0xF0) length = 4, low = 0x90;
    else if (lead >= 0xF1 && lead <= 0xF3) length = 4;
    else if (lead == 0xF4) length = 4, high = 0x8F;
    else return 0;
    if (pos + length > text.size()) return 0;
    if (byte(pos + 1) < low || byte(pos + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(pos + i) < 0x80 || byte(pos + i) > 0xBF) return 0;
    return length;
}

}  // namespace updater
