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

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// True when `text` begins with `word` (upper-case ASCII) in any letter
// case. The words start with "/", a single-byte character, and hold only
// single-byte characters, so no byte matched is the second of a pair.
bool StartsWithWord(const std::string& text, const std::string& word) {
    if (text.size() < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        const char c = IsAsciiLetter(text[i]) ? AsciiUpper(text[i]) : text[i];
        if (c != word[i]) return false;
    }
    return true;
}

constexpr char kQuietOption[] = "/QUIET";
constexpr char kLogOption[] = "/LOG=";

bool IsOption(const std::string& argument) {
    return (StartsWithWord(argument, kQuietOption) && argument.size() == sizeof kQuietOption - 1) ||
           StartsWithWord(argument, kLogOption);
}

void ReadOption(const std::string& argument, UpdateRequest& request) {
    const std::size_t logPrefix = sizeof kLogOption - 1;
    const bool log = StartsWithWord(argument, kLogOption) && argument.size() > logPrefix && !request.logFile;
    if (log)
        request.logFile = argument.substr(logPrefix);
    else if (StartsWithWord(argument, kQuietOption) && argument.size() == sizeof kQuietOption - 1)
        request.quiet = true;
    else if (!request.badOption)
        request.badOption = argument;
}

}  // namespace

std::vector<std::string> ArgumentsFromCommandLine(const std::string& commandLine) {
    const std::string line = commandLine.substr(0, commandLine.find('\0'));
    std::vector<std::string> arguments;
    std::size_t pos = SkipToArgument(line, 0);
    if (pos < line.size()) ReadArgument(line, pos);  // the program name
    for (pos = SkipToArgument(line, pos); pos < line.size(); pos = SkipToArgument(line, pos))
        arguments.push_back(ReadArgument(line, pos));
    return arguments;
}

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
    const std::vector<std::string> arguments = ArgumentsFromCommandLine(commandLine);
    const auto argument = [&](std::size_t index) { return index < arguments.size() ? arguments[index] : ""; };
    UpdateRequest request{argument(0), argument(1), argument(2)};
    std::size_t firstOption = 3;
    if (IsOption(request.packageName)) {
        request.packageName.clear();
        firstOption = 2;
    }
    for (std::size_t index = firstOption; index < arguments.size(); ++index) ReadOption(arguments[index], request);
    return request;
}

}  // namespace updater
