// Version resources through version.dll. The library is not imported: it is
// not a KnownDLL, so a static import would let a version.dll planted beside
// the (elevated) program be loaded. It is loaded once, from the system
// folder only, the first time a version is read.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/win32_handles.h"

namespace updater {

namespace {

using GetSizeFunction = decltype(&GetFileVersionInfoSizeA);
using GetInfoFunction = decltype(&GetFileVersionInfoA);
using QueryValueFunction = decltype(&VerQueryValueA);

template <typename Function>
Function Entry(HMODULE module, const char* name) {
    // Through void(*)(): the one cast between function types that GCC accepts silently.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

win32::UniqueModule LoadSystemLibrary(const char* name) {
    win32::UniqueModule module(LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    // A system without the search flags (Windows 7 before its loader update):
    // name the file in the system folder explicitly.
    char folder[MAX_PATH + 1];
    const UINT length = GetSystemDirectoryA(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder) return module;
    const std::string path = std::string(folder, length) + "\\" + name;
    return win32::UniqueModule(LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

struct VersionLibrary {
    win32::UniqueModule module;
    GetSizeFunction getSize = nullptr;
    GetInfoFunction getInfo = nullptr;
    QueryValueFunction queryValue = nullptr;

    VersionLibrary() : module(LoadSystemLibrary("version.dll")) {
        if (!module) return;
        getSize = Entry<GetSizeFunction>(module.get(), "GetFileVersionInfoSizeA");
        getInfo = Entry<GetInfoFunction>(module.get(), "GetFileVersionInfoA");
        queryValue = Entry<QueryValueFunction>(module.get(), "VerQueryValueA");
    }
};

const VersionLibrary& Library() {
    static const VersionLibrary library;
    return library;
}

}  // namespace

std::uint32_t GetVersionInfoSize(const std::string& path) {
    if (!Library().getSize) return 0;
    DWORD handle = 0;
    return Library().getSize(path.c_str(), &handle);
}

bool GetVersionInfo(const std::string& path, std::vector<std::uint8_t>& buffer) {
    if (!Library().getInfo || buffer.empty()) return false;
    return Library().getInfo(path.c_str(), 0, static_cast<DWORD>(buffer.size()), buffer.data()) != FALSE;
}

std::optional<std::string> QueryVersionValue(const std::vector<std::uint8_t>& buffer,
                                             const std::string& subBlock) {
    if (!Library().queryValue || buffer.empty()) return std::nullopt;
    void* value = nullptr;
    UINT length = 0;
    if (!Library().queryValue(buffer.data(), subBlock.c_str(), &value, &length) || !value)
        return std::nullopt;
    // The text ends at its NUL; never read past the block it lies in.
    const auto* text = static_cast<const char*>(value);
    const auto* begin = reinterpret_cast<const char*>(buffer.data());
    const auto* end = begin + buffer.size();
    const std::size_t limit = text >= begin && text < end ? static_cast<std::size_t>(end - text) : length;
    return std::string(text, strnlen(text, limit));
}

}  // namespace updater
