#include "platform/command_line.h"

namespace updater {

namespace {

bool IsSeparatorByte(unsigned char byte) { return byte >= 1 && byte <= 32; }

// Skips the blanks before an argument, and an empty quote pair after them.
std::size_t SkipToArgument(const std::string& line, std::size_t pos) {
    for (;;) {
        while (pos < line.size() && IsSeparatorByte(static_cast<unsigned char>(line[pos]))) ++pos;
        if (pos + 1 < line.size() && line[pos] == '"' && line[pos + 1] == '"')
            pos += 2;
        else
            return pos;
    }
}

// Reads one argument starting at `pos`, joining quoted and unquoted stretches.
std::string ReadArgument(const std::string& line, std::size_t& pos) {
    std::string argument;
    while (pos < line.size() && static_cast<unsigned char>(line[pos]) > 32) {
        if (line[pos] == '"') {
            ++pos;
            while (pos < line.size() && line[pos] != '"') {
                const std::size_t length = CharLength(line, pos);
                argument.append(line, pos, length);
                pos += length;
            }
            if (pos < line.size()) ++pos;  // the closing quote
        } else {
            const std::size_t length = CharLength(line, pos);
            argument.append(line, pos, length);
            pos += length;
        }
    }
    return argument;
}

}  // namespace

std::string ArgumentFromCommandLine(const std::string& commandLine, int n) {
    // A NUL ends the command line, as it does for the C string Windows hands over.
    const std::string line = commandLine.substr(0, commandLine.find('\0'));
    std::size_t pos = 0;
    std::string argument;
    for (int index = 0; index <= n; ++index) {
        pos = SkipToArgument(line, pos);
        if (pos >= line.size()) return "";
        argument = ReadArgument(line, pos);
    }
    return argument;
}

std::size_t LastSeparator(const std::string& path, bool withColon) {
    std::size_t last = std::string::npos;
    for (std::size_t pos = 0; pos < path.size(); pos += CharLength(path, pos)) {
        if (path[pos] == '\\' || (withColon && path[pos] == ':')) last = pos;
    }
    return last;
}

std::string FolderOfPath(const std::string& path) {
    const std::size_t last = LastSeparator(path, true);
    if (last == std::string::npos) return "";
    // "D:\x" keeps "D:\"; a separator right after another one (or a colon) stays.
    const bool afterSeparator = last > 0 && LastSeparator(path.substr(0, last), true) == last - 1;
    if (path[last] == '\\' && last > 0 && !afterSeparator) return path.substr(0, last);
    return path.substr(0, last + 1);
}

std::string FileNameOfPath(const std::string& path) {
    const std::size_t last = LastSeparator(path, true);
    return last == std::string::npos ? path : path.substr(last + 1);
}

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

std::string ApplicationTitleOf(const std::string& executablePath) {
    std::string name = FileNameOfPath(executablePath);
    name = name.substr(0, name.find('.'));
    if (name.empty()) return name;
    const std::size_t first = CharLength(name, 0);
    return name.substr(0, first) + LowerCaseAscii(name.substr(first));
}

}  // namespace updater
