// What the Windows layer asks of an open file or folder handle: its final
// path, what kind of entry it is, whether it is a plain file or a real
// folder where it was expected, and its bytes. Shared by the listing, the
// log, the copy and the signature check.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "win32/win32_handles.h"

namespace updater::win32 {

inline constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A code page 932 text in UTF-16, as the ANSI calls would take it.
std::wstring Wide(const std::string& text);

// `path` opened for reading its attributes only; a link is followed only
// when `followLinks`. Folders open too. Empty when it cannot be opened.
UniqueFile OpenForAttributes(const std::wstring& path, DWORD share, bool followLinks);

// The path the system resolves an open file or folder to ("\\?\C:\..."),
// or "" when it cannot say.
std::wstring FinalPathOf(HANDLE handle);

// Paths are compared as the file system compares names: without regard to
// case. An empty path is no path.
bool SamePath(const std::wstring& a, const std::wstring& b);

// The final path of the entry `name` in the folder whose final path is `folder`.
std::wstring FinalPathIn(const std::wstring& folder, const std::wstring& name);

// True when the handle is a plain file (no folder, no reparse point) with
// one name, at the final path `expected`.
bool IsPlainFileAt(HANDLE file, const std::wstring& expected);

// True when the handle is a real folder (no reparse point) at the final
// path `expected`.
bool IsRealFolderAt(HANDLE folder, const std::wstring& expected);

// Puts the open file's pointer at its start; false when it cannot.
bool RewindFile(HANDLE file);

// True when the two open files hold the same bytes, each read once from its
// start through its handle, `buffer` (any size, kept by the caller for the
// next call) split between them. Files of different sizes are not read.
// False also when either cannot be read whole.
bool SameBytes(HANDLE a, HANDLE b, std::vector<char>& buffer);

// The file's bytes from its start, read through the handle; nothing when
// they cannot be read whole or number more than `limit`.
std::optional<std::string> ReadWholeFile(HANDLE file, std::size_t limit);

}  // namespace updater::win32
