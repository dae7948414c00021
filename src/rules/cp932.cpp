#include "rules/cp932.h"

namespace updater {

namespace {

template <typename Change>
void ChangeCaseAscii(std::string& text, Change change) {
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = CharLength(text, pos);
        if (length == 1) text[pos] = change(text[pos]);
        pos += length;
    }
}

}  // namespace

void UpperCaseAsciiInPlace(std::string& text) {
    ChangeCaseAscii(text, [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; });
}

std::string UpperCaseAscii(const std::string& text) {
    std::string result = text;
    UpperCaseAsciiInPlace(result);
    return result;
}

std::string LowerCaseAscii(const std::string& text) {
    std::string result = text;
    ChangeCaseAscii(result, [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    return result;
}

}  // namespace updater
