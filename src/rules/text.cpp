#include "rules/text.h"

#include <algorithm>

#include "rules/cp932.h"

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

std::string TextFileBytes(const TextList& lines) {
    std::string bytes;
    for (const std::string& line : lines) bytes.append(line).append("\r\n");
    return bytes;
}

}  // namespace updater
