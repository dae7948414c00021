// Version resources through version.dll. The library is not imported: it is
// not a KnownDLL, so a static import would let a version.dll planted beside
// the (elevated) program be loaded. It is loaded once, from the system
// folder only, before the first version is read; a run that cannot load it
// stops, since every file would otherwise read as having no version.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "rules/cp932.h"
#include "rules/text.h"
#include "seam/version_info.h"
#include "win32/system_library.h"
#include "win32/win32_handles.h"
#include "win32/win32_support.h"

namespace updater {

namespace {

constexpr char kLibraryName[] = "version.dll";
// The query of the Japanese string table's FileVersion.
const std::string& JapaneseFileVersionQuery() {
    static const std::string query = std::string("\\StringFileInfo\\") + kJapaneseStringTable + "\\FileVersion";
    return query;
}

using GetInfoFunction = decltype(&GetFileVersionInfoA);
using QueryValueFunction = decltype(&VerQueryValueA);

struct VersionLibrary {
    win32::UniqueModule module;
    GetInfoFunction getInfo = nullptr;
    QueryValueFunction queryValue = nullptr;
    DWORD error = ERROR_SUCCESS;  // why it could not be loaded

    VersionLibrary() : module(win32::LoadSystemLibrary(kLibraryName)) {
        if (!module) {
            error = GetLastError();
            return;
        }
        getInfo = win32::Entry<GetInfoFunction>(module.get(), "GetFileVersionInfoA");
        queryValue = win32::Entry<QueryValueFunction>(module.get(), "VerQueryValueA");
        if (!getInfo || !queryValue) error = GetLastError();
    }
    bool ready() const { return getInfo && queryValue; }
};

// The library, loaded at the first call; raises when it cannot be loaded.
// Every use goes through here, so no version is ever read without it.
const VersionLibrary& LoadedLibrary() { return win32::LoadedOnce<VersionLibrary>(kLibraryName); }

// Only a file that begins with the "MZ" signature can carry a version
// resource. version.dll maps the whole file as an image to find out, which
// costs far more than reading two bytes, so other files are not handed to
// it. A file that cannot be opened here is still handed to version.dll,
// which then finds it unreadable too.
bool MayCarryVersionResource(const std::string& path) {
    const win32::UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return true;
    char signature[2] = {};
    DWORD read = 0;
    if (!ReadFile(file.get(), signature, sizeof signature, &read, nullptr)) return true;
    return read == sizeof signature && signature[0] == 'M' && signature[1] == 'Z';
}

// A version resource starts with its own length, a 16-bit count; the ANSI
// queries convert texts into room of the same size after it (behind a 4-byte
// mark that the read writes). A buffer of this size holds any resource and
// that room, so one read serves without asking for the size first (which
// would map the file a second time).
constexpr std::size_t kLargestVersionInfo = 2 * 0xFFFF + 8;

}  // namespace

void PrepareVersionReading() { LoadedLibrary(); }

std::optional<std::string> ReadJapaneseFileVersion(const std::string& path) {
    const VersionLibrary& library = LoadedLibrary();
    if (!MayCarryVersionResource(path)) return std::nullopt;
    std::vector<std::uint8_t> buffer(kLargestVersionInfo);
    if (!library.getInfo(path.c_str(), 0, static_cast<DWORD>(buffer.size()), buffer.data())) return std::nullopt;
    void* value = nullptr;
    UINT length = 0;
    if (!library.queryValue(buffer.data(), JapaneseFileVersionQuery().c_str(), &value, &length) || !value)
        return std::nullopt;
    // The text ends at its NUL; never read past the block it lies in.
    const auto* text = static_cast<const char*>(value);
    const auto* begin = reinterpret_cast<const char*>(buffer.data());
    const auto* end = begin + buffer.size();
    const std::size_t limit = text >= begin && text < end ? static_cast<std::size_t>(end - text) : length;
    return std::string(text, strnlen(text, limit));
}

}  // namespace updater
