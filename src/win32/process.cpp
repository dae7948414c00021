// The running process: the executable's path, the current folder and the
// user's shell folders.
#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "seam/process.h"

namespace updater {

namespace {

int CsidlOf(SpecialFolder folder) {
    return folder == SpecialFolder::kApplicationData ? CSIDL_APPDATA : CSIDL_PERSONAL;
}

}  // namespace

std::string GetExecutablePath() {
    // The path may be longer than MAX_PATH; a full buffer means it was cut.
    std::vector<char> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return "";
        if (length < buffer.size()) return std::string(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<std::string> GetCurrentFolder() {
    DWORD size = GetCurrentDirectoryA(0, nullptr);
    // The folder may change between the two calls; retry until it fits.
    while (size != 0) {
        std::vector<char> buffer(size);
        const DWORD length = GetCurrentDirectoryA(size, buffer.data());
        if (length == 0) return std::nullopt;
        if (length < size) return std::string(buffer.data(), length);
        size = length;
    }
    return std::nullopt;
}

bool SetCurrentFolder(const std::string& path) { return SetCurrentDirectoryA(path.c_str()) != FALSE; }

// SHGetSpecialFolderPathA reports failure by its result only; nothing here
// raises or shows a box. An empty path names no folder either.
std::optional<std::string> GetSpecialFolder(SpecialFolder folder) {
    char buffer[1025] = {};
    if (!SHGetSpecialFolderPathA(nullptr, buffer, CsidlOf(folder), FALSE) || buffer[0] == '\0') return std::nullopt;
    return std::string(buffer, strnlen(buffer, sizeof buffer));
}

}  // namespace updater
