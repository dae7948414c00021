// Rules of Windows paths as code page 932 texts: "\" separates, and a "\"
// byte that is the second byte of a double-byte character does not.
#pragma once

#include <cstddef>
#include <string>

namespace updater {

// The longest path the ANSI calls of Windows accept, in code page 932 bytes:
// MAX_PATH (260) less the terminating NUL.
inline constexpr std::size_t kAnsiPathLimit = 259;

// True when a path of `bytes` code page 932 bytes fits the ANSI calls.
constexpr bool FitsAnsiCalls(std::size_t bytes) { return bytes <= kAnsiPathLimit; }

// Position of the last path separator ("\" or, when `withColon`, also ":"),
// stepping over double-byte characters; npos when there is none.
std::size_t LastSeparator(const std::string& path, bool withColon);

// True when the last character (not merely the last byte) is "\".
bool EndsWithBackslash(const std::string& text);

// `text` without the "\" separators it ends in (never the second byte of a
// double-byte character).
std::string WithoutTrailingSeparators(std::string text);

// `folder` + "\" + `name`; a folder that already ends in "\" (a drive's
// root folder) gets no second one.
std::string JoinPath(const std::string& folder, const std::string& name);

// The folder of `path`: up to, not including, its last "\"; a drive's root
// folder keeps its "\" (D:\updater.exe gives D:\).
std::string FolderOfPath(const std::string& path);

// The file name of `path`: what follows its last "\" or ":".
std::string FileNameOfPath(const std::string& path);

// The application's title: the file name cut at its first "." with every
// character after the first in lower case (UPDATER.EXE gives Updater).
std::string ApplicationTitleOf(const std::string& executablePath);

}  // namespace updater

namespace updater {

// True when `path` names a folder by an absolute path: a drive letter, a
// colon and a separator ("D:\App"; "D:" alone is the drive's root, as "D:\"
// reads without its trailing separator), or a network path
// "\\server\share..." ("\" or "/" as separators). Relative, drive-relative
// ("D:App"), root-relative ("\App") and device paths ("\\?\", "\\.\") are not.
bool IsAbsoluteFolderPath(const std::string& path);

// True when the full path `path` lies below the full folder path `folder`
// (which ends in "\"): it starts with `folder` and names something in it.
bool LiesBelow(const std::string& path, const std::string& folder);

// An absolute path with its "." and ".." steps taken as Windows takes them
// (".." never climbs above the drive or the share); "" for a path that is not
// absolute. What the stand-ins of Windows resolve full path names with.
std::string CollapseDotSegments(const std::string& path);

}  // namespace updater
