#include "kit/json.h"

#include <cstdio>

namespace updater::kit {

namespace {

// U+FFFD as UTF-8 bytes (written as bytes: literals are compiled to code page 932).
constexpr char kReplacement[] = "\xEF\xBF\xBD";

// Length of the well-formed UTF-8 sequence at `pos`, or 0 when there is none.
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

}  // namespace

std::string JsonQuote(std::string_view text) {
    std::string out = "\"";
    for (std::size_t pos = 0; pos < text.size();) {
        const char c = text[pos];
        const std::size_t length = Utf8SequenceLength(text, pos);
        if (length == 0) {
            out += kReplacement;
            ++pos;
            continue;
        }
        if (length > 1) {
            out.append(text, pos, length);
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
            out += escaped;
        } else {
            out += c;
        }
        pos += length;
    }
    out += '"';
    return out;
}

}  // namespace updater::kit
