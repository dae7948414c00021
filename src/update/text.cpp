#include "update/text.h"

#include <algorithm>

#include "platform/command_line.h"

namespace updater {

std::string MakeBlanks(int count) {
    return count >= 0 && count <= 510 ? std::string(static_cast<std::size_t>(count), ' ') : std::string();
}

std::string PadToWidth(const std::string& text, int width) {
    const std::size_t size = static_cast<std::size_t>(std::max(width, 0));
    if (text.size() < size) return (text + MakeBlanks(width)).substr(0, size);
    return text.substr(0, size);
}

std::string FormatText(std::string_view format, std::initializer_list<std::string_view> args) {
    std::string result;
    std::size_t size = format.size();
    for (const std::string_view arg : args) size += arg.size();
    result.reserve(size);
    auto next = args.begin();
    for (std::size_t pos = 0; pos < format.size(); ++pos) {
        if (format[pos] == '%' && pos + 1 < format.size() && format[pos + 1] == 's') {
            if (next != args.end()) result.append(*next++);
            ++pos;
        } else {
            result.push_back(format[pos]);
        }
    }
    return result;
}

std::size_t FindText(const std::string& text, const std::string& pattern, std::size_t from) {
    if (pattern.empty()) return std::string::npos;
    for (std::size_t pos = from; pos < text.size(); pos += CharLength(text, pos)) {
        if (text[pos] == pattern[0] && text.compare(pos, pattern.size(), pattern) == 0) return pos;
    }
    return std::string::npos;
}

std::string ReplaceAll(const std::string& text, const std::string& pattern,
                       const std::string& replacement) {
    std::string result;
    std::size_t pos = 0;
    for (std::size_t found; (found = FindText(text, pattern, pos)) != std::string::npos;) {
        result.append(text, pos, found - pos).append(replacement);
        pos = found + pattern.size();
    }
    return result.append(text, pos, std::string::npos);
}

bool EndsWithBackslash(const std::string& text) {
    if (text.empty() || text.back() != '\\') return false;
    const std::size_t last = LastSeparator(text, false);
    return last != std::string::npos && last + 1 == text.size();
}

namespace {

bool IsAllDigits(const std::string& piece) {
    return !piece.empty() && std::all_of(piece.begin(), piece.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int CompareNumbers(const std::string& a, const std::string& b) {
    const std::string x = a.substr(std::min(a.find_first_not_of('0'), a.size()));
    const std::string y = b.substr(std::min(b.find_first_not_of('0'), b.size()));
    if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
    return x.compare(y);
}

int ComparePieces(const std::string& a, const std::string& b) {
    if (IsAllDigits(a) && IsAllDigits(b)) return CompareNumbers(a, b);
    return a.compare(b);  // byte-wise, unsigned
}

TextList SplitAtDots(const std::string& text) {
    TextList pieces;
    std::size_t start = 0;
    for (std::size_t dot; (dot = text.find('.', start)) != std::string::npos; start = dot + 1)
        pieces.push_back(text.substr(start, dot - start));
    pieces.push_back(text.substr(start));
    return pieces;
}

}  // namespace

int CompareVersionTexts(const std::string& a, const std::string& b) {
    const TextList left = SplitAtDots(a);
    const TextList right = SplitAtDots(b);
    const std::size_t common = std::min(left.size(), right.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (const int order = ComparePieces(left[i], right[i]); order != 0) return order < 0 ? -1 : 1;
    }
    if (left.size() == right.size()) return 0;
    return left.size() < right.size() ? -1 : 1;
}

}  // namespace updater
