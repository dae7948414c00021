// The shell's file copy.
#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <string>

#include "win32/application_window.h"
#include "win32/shell.h"

namespace updater {

namespace {

// Silent, no confirmations (an existing file is replaced, missing folders are
// made), and no connected files copied along. FOF_NOERRORUI is not among
// them: the shell may show its own error dialog for a failing copy, except
// in a quiet run, which adds it.
constexpr FILEOP_FLAGS kCopyFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NO_CONNECTED_ELEMENTS;
static_assert(kCopyFlags == 0x2214);

// The shell takes lists of names, each ended by a NUL, the list by one more.
std::string NameList(const std::string& name) { return name + '\0' + '\0'; }

}  // namespace

namespace win32 {

bool ShellCopyFile(const std::string& source, const std::string& destination, bool quiet) {
    const std::string from = NameList(source);
    const std::string to = NameList(destination);
    SHFILEOPSTRUCTA operation = {};
    operation.hwnd = win32::ApplicationWindow();
    operation.wFunc = FO_COPY;
    operation.pFrom = from.c_str();
    operation.pTo = to.c_str();
    operation.fFlags = quiet ? kCopyFlags | FOF_NOERRORUI : kCopyFlags;
    operation.lpszProgressTitle = nullptr;
    operation.hNameMappings = nullptr;
    // An operation the user cancelled in the shell's own error dialog can
    // come back as 0 with the aborted flag set: nothing was copied then.
    return SHFileOperationA(&operation) == 0 && !operation.fAnyOperationsAborted;
}

}  // namespace win32

}  // namespace updater
