// The shell: special folders and the shell's file copy.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace updater {

std::string GetSpecialFolder(SpecialFolder folder) {
    char buffer[1025] = {};
    if (!SHGetSpecialFolderPathA(nullptr, buffer, static_cast<int>(folder), FALSE)) return "";
    return std::string(buffer, strnlen(buffer, sizeof buffer));
}

namespace {

// The shell takes lists of names, each ended by a NUL, the list by one more.
std::string NameList(const std::string& name) { return name + '\0' + '\0'; }

}  // namespace

int ShellCopyFile(WindowHandle owner, const std::string& source, const std::string& destination,
                  std::uint16_t flags) {
    const std::string from = NameList(source);
    const std::string to = NameList(destination);
    SHFILEOPSTRUCTA operation = {};
    operation.hwnd = static_cast<HWND>(owner);
    operation.wFunc = FO_COPY;
    operation.pFrom = from.c_str();
    operation.pTo = to.c_str();
    operation.fFlags = flags;
    operation.lpszProgressTitle = nullptr;
    operation.hNameMappings = nullptr;
    const int result = SHFileOperationA(&operation);
    // An operation the user cancelled in the shell's own error dialog can
    // come back as 0 with the aborted flag set: nothing was copied then.
    if (result == 0 && operation.fAnyOperationsAborted) return ERROR_CANCELLED;
    return result;
}

}  // namespace updater
