#include "kit/readable_text.h"

#include <cstdio>
#include <optional>

#include "native/cp932_codec.h"
#include "rules/cp932.h"

namespace updater::kit {

namespace {

// U+FFFD as UTF-8 bytes (written as bytes: literals are compiled to code page 932).
constexpr char kReplacement[] = "\xEF\xBF\xBD";

enum class Undecodable { kReplacementForItsFirstByte, kHexForEachByte };

// Character by character when the whole does not decode.
std::string Decoded(std::string_view cp932, Undecodable shown) {
    if (std::optional<std::string> whole = native::Cp932ToUtf8(cp932)) return *std::move(whole);
    std::string out;
    for (std::size_t pos = 0; pos < cp932.size();) {
        const std::size_t length = CharLength(cp932, pos);
        const std::string_view piece = cp932.substr(pos, length);
        if (const std::optional<std::string> character = native::Cp932ToUtf8(piece)) {
            out += *character;
            pos += length;
        } else if (shown == Undecodable::kReplacementForItsFirstByte) {
            out += kReplacement;
            ++pos;
        } else {
            for (const char c : piece) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
                out += hex;
            }
            pos += length;
        }
    }
    return out;
}

}  // namespace

std::string Cp932AsReadableUtf8(std::string_view cp932) {
    return Decoded(cp932, Undecodable::kReplacementForItsFirstByte);
}

std::string Cp932AsShownUtf8(std::string_view cp932) { return Decoded(cp932, Undecodable::kHexForEachByte); }

}  // namespace updater::kit
