#include "kit/json.h"

#include <cstdio>

#include "rules/utf8.h"

namespace updater::kit {

namespace {

// U+FFFD as UTF-8 bytes (written as bytes: literals are compiled to code page 932).
constexpr char kReplacement[] = "\xEF\xBF\xBD";

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
