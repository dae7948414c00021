// Text rules of the command line and of the executable's path. Portable, so
// both the Windows build and the unit tests use exactly the same rules.
#pragma once

#include <string>
#include <string_view>

namespace updater {

// True for a code page 932 lead byte: the first byte of a double-byte character.
inline bool IsLeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Bytes taken by the character at `pos`: 2 for a double-byte character, else 1.
inline std::size_t CharLength(std::string_view text, std::size_t pos) {
    return IsLeadByte(static_cast<unsigned char>(text[pos])) && pos + 1 < text.size() ? 2 : 1;
}

// The n-th argument of `commandLine`; argument 0 is the program name.
// Runs of bytes 1..32 separate arguments; after such a run an empty quote pair
// is skipped too; a '"' opens a stretch that runs to the next '"' (or the end)
// and the quotes are removed; there is no escape character.
std::string ArgumentFromCommandLine(const std::string& commandLine, int n);

// Position of the last path separator ("\" or, when `withColon`, also ":"),
// stepping over double-byte characters; npos when there is none.
std::size_t LastSeparator(const std::string& path, bool withColon);

// The folder of `path`: up to, not including, its last "\"; a drive's root
// folder keeps its "\" (D:\updater.exe gives D:\).
std::string FolderOfPath(const std::string& path);

// The file name of `path`: what follows its last "\" or ":".
std::string FileNameOfPath(const std::string& path);

// Letters A-Z/a-z changed to upper or lower case; double-byte characters kept.
void UpperCaseAsciiInPlace(std::string& text);
std::string UpperCaseAscii(const std::string& text);
std::string LowerCaseAscii(const std::string& text);

// The application's title: the file name cut at its first "." with every
// character after the first in lower case (UPDATER.EXE gives Updater).
std::string ApplicationTitleOf(const std::string& executablePath);

}  // namespace updater
