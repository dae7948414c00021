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

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// True when `text` begins with `word` (upper-case ASCII) in any letter
// case. The words start with "/", a single-byte character, and hold only
// single-byte characters, so no byte matched is the second of a pair.
bool StartsWithWord(const std::string& text, const std::string& word) {
    if (text.size() < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (AsciiUpper(text[i]) != word[i]) return false;
    return true;
}

constexpr char kQuietOption[] = "/QUIET";
constexpr char kLogOption[] = "/LOG=";
constexpr std::size_t kLogPrefix = sizeof kLogOption - 1;

bool IsQuietOption(const std::string& argument) {
    return argument.size() == sizeof kQuietOption - 1 && StartsWithWord(argument, kQuietOption);
}
bool IsLogOption(const std::string& argument) { return StartsWithWord(argument, kLogOption); }

void ReadOption(const std::string& argument, UpdateRequest& request) {
    if (IsQuietOption(argument))
        request.quiet = true;
    else if (IsLogOption(argument) && argument.size() > kLogPrefix && !request.logFile)
        request.logFile = argument.substr(kLogPrefix);
    else if (!request.badOption)
        request.badOption = argument;
}

}  // namespace

std::vector<std::string> ArgumentsFromCommandLine(const std::string& commandLine) {
    // A NUL ends the command line, as it does for the C string Windows hands over.
    const std::string line = commandLine.substr(0, commandLine.find('\0'));
    std::vector<std::string> arguments;
    for (std::size_t pos = SkipToArgument(line, 0); pos < line.size(); pos = SkipToArgument(line, pos))
        arguments.push_back(ReadArgument(line, pos));
    return arguments;
}

std::string ArgumentFromCommandLine(const std::string& commandLine, int n) {
    const std::vector<std::string> arguments = ArgumentsFromCommandLine(commandLine);
    return n >= 0 && static_cast<std::size_t>(n) < arguments.size() ? arguments[n] : "";
}

UpdateRequest ReadUpdateRequest(const std::string& commandLine) {
    const std::vector<std::string> arguments = ArgumentsFromCommandLine(commandLine);
    const auto argument = [&](std::size_t index) { return index < arguments.size() ? arguments[index] : ""; };
    UpdateRequest request{argument(1), argument(2), argument(3)};
    std::size_t firstOption = 4;
    if (IsQuietOption(request.packageName) || IsLogOption(request.packageName)) {
        request.packageName.clear();
        firstOption = 3;
    }
    for (std::size_t index = firstOption; index < arguments.size(); ++index) ReadOption(arguments[index], request);
    return request;
}

}  // namespace updater
