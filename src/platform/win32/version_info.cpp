// Version resources through version.dll. The library is not imported: it is
// not a KnownDLL, so a static import would let a version.dll planted beside
// the (elevated) program be loaded. It is loaded once, from the system
// folder only, the first time a version is read.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/win32_handles.h"

namespace updater {

namespace {

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
    GetInfoFunction getInfo = nullptr;
    QueryValueFunction queryValue = nullptr;

    VersionLibrary() : module(LoadSystemLibrary("version.dll")) {
        if (!module) return;
        getInfo = Entry<GetInfoFunction>(module.get(), "GetFileVersionInfoA");
        queryValue = Entry<QueryValueFunction>(module.get(), "VerQueryValueA");
    }
};

const VersionLibrary& Library() {
    static const VersionLibrary library;
    return library;
}

}  // namespace

namespace {

// Each version.dll read loads the whole file as an image; under Wine that
// costs about a fifth of a shell copy, and a stamp needs a size query and a
// read of the same file. So the size query reads the information once, into
// a buffer large enough for any version resource, and the read that follows
// for the same file hands out that copy.
//
// A version resource starts with its own length, a 16-bit count; the ANSI
// queries convert texts into room of the same size after it (behind a 4-byte
// mark that the read writes), which is the size the query reports.
constexpr std::size_t kLargestVersionInfo = 2 * 0xFFFF + 8;

struct PendingVersionInfo {
    std::string path;
    std::size_t length = 0;  // bytes of the resource and its mark; 0: nothing pending
    std::vector<std::uint8_t> data = std::vector<std::uint8_t>(kLargestVersionInfo);
};

PendingVersionInfo& Pending() {
    static PendingVersionInfo pending;
    return pending;
}

}  // namespace

std::uint32_t GetVersionInfoSize(const std::string& path) {
    PendingVersionInfo& pending = Pending();
    pending.length = 0;
    if (!Library().getInfo ||
        !Library().getInfo(path.c_str(), 0, static_cast<DWORD>(pending.data.size()), pending.data.data()))
        return 0;
    const std::size_t resource = pending.data[0] | (pending.data[1] << 8);
    pending.path = path;
    pending.length = resource + 4;
    return static_cast<std::uint32_t>(2 * resource + 8);
}

bool GetVersionInfo(const std::string& path, std::vector<std::uint8_t>& buffer) {
    if (buffer.empty()) return false;
    PendingVersionInfo& pending = Pending();
    if (pending.length > 0 && pending.path == path) {
        std::memcpy(buffer.data(), pending.data.data(), std::min(buffer.size(), pending.length));
        pending.length = 0;
        return true;
    }
    if (!Library().getInfo) return false;
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
