#include "rules/command_line.h"

#include "rules/cp932.h"

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

UpdateRequest ReadUpdateRequest(const std::string& commandLine) {
    return {ArgumentFromCommandLine(commandLine, 1), ArgumentFromCommandLine(commandLine, 2),
            ArgumentFromCommandLine(commandLine, 3)};
}

}  // namespace updater
