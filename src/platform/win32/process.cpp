// Process and command line: the arguments, the executable's path, the
// current folder, upper-casing by the user's locale.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/command_line.h"
#include "platform/platform.h"

namespace updater {

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

std::string UpperCaseAnsi(const std::string& text) {
    std::string result = text;
    if (!result.empty()) CharUpperBuffA(result.data(), static_cast<DWORD>(result.size()));
    return result;
}

}  // namespace updater
