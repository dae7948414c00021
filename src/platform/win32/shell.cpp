// The shell: special folders and the shell's file copy.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "platform/win32/application_window.h"
#include "platform/win32/shell.h"

namespace updater {

namespace {

int CsidlOf(SpecialFolder folder) {
    return folder == SpecialFolder::ApplicationData ? CSIDL_APPDATA : CSIDL_PERSONAL;
}

// Silent, no confirmations (an existing file is replaced, missing folders are
// made), and no connected files copied along. FOF_NOERRORUI is not among
// them: the shell may show its own error dialog for a failing copy.
constexpr FILEOP_FLAGS kCopyFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NO_CONNECTED_ELEMENTS;
static_assert(kCopyFlags == 0x2214);

// The shell takes lists of names, each ended by a NUL, the list by one more.
std::string NameList(const std::string& name) { return name + '\0' + '\0'; }

}  // namespace

// SHGetSpecialFolderPathA reports failure by its result only; nothing here
// raises or shows a box. An empty path names no folder either.
std::optional<std::string> GetSpecialFolder(SpecialFolder folder) {
    char buffer[1025] = {};
    if (!SHGetSpecialFolderPathA(nullptr, buffer, CsidlOf(folder), FALSE) || buffer[0] == '\0') return std::nullopt;
    return std::string(buffer, strnlen(buffer, sizeof buffer));
}

namespace win32 {

bool ShellCopyFile(const std::string& source, const std::string& destination) {
    const std::string from = NameList(source);
    const std::string to = NameList(destination);
    SHFILEOPSTRUCTA operation = {};
    operation.hwnd = win32::ApplicationWindow();
    operation.wFunc = FO_COPY;
    operation.pFrom = from.c_str();
    operation.pTo = to.c_str();
    operation.fFlags = kCopyFlags;
    operation.lpszProgressTitle = nullptr;
    operation.hNameMappings = nullptr;
    // An operation the user cancelled in the shell's own error dialog can
    // come back as 0 with the aborted flag set: nothing was copied then.
    return SHFileOperationA(&operation) == 0 && !operation.fAnyOperationsAborted;
}

}  // namespace win32

}  // namespace updater
