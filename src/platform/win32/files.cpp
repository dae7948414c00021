// File system: folder search, attributes, existence, and writing a text file.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_support.h"
#include "update/text.h"
#include "update/texts.h"

namespace updater {

namespace {

win32::UniqueFind FindFirst(const std::string& pattern, WIN32_FIND_DATAA& data) {
    return win32::OwnedOrEmpty<win32::UniqueFind>(FindFirstFileA(pattern.c_str(), &data));
}

// An entry with one of these attributes is returned only when the mask asks
// for that attribute; plain files and read-only entries always are.
constexpr DWORD kMaskedAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | 0x08 /* volume label */ | FILE_ATTRIBUTE_DIRECTORY;

bool MatchesMask(DWORD attributes, std::uint32_t mask) {
    return (attributes & ~mask & kMaskedAttributes) == 0;
}

}  // namespace

std::vector<FoundEntry> FindEntries(const std::string& pattern, std::uint32_t mask) {
    std::vector<FoundEntry> entries;
    WIN32_FIND_DATAA data;
    const win32::UniqueFind find = FindFirst(pattern, data);
    if (!find) return entries;
    do {
        if (MatchesMask(data.dwFileAttributes, mask))
            entries.push_back({data.cFileName, static_cast<std::int32_t>(data.dwFileAttributes)});
    } while (FindNextFileA(find.get(), &data));
    return entries;
}

std::int32_t GetAttributes(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ? kInvalidAttributes
                                                 : static_cast<std::int32_t>(attributes);
}

bool FileExists(const std::string& path) {
    // A name without wildcards finds exactly its own entry, so one attribute
    // query gives what a folder search would (and costs a fraction of it
    // under Wine, which scans the whole folder for a search).
    DWORD attributes = 0;
    FILETIME lastWrite{};
    if (path.find_first_of("*?") == std::string::npos) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
        attributes = data.dwFileAttributes;
        lastWrite = data.ftLastWriteTime;
    } else {
        WIN32_FIND_DATAA data;
        if (!FindFirst(path, data)) return false;
        attributes = data.dwFileAttributes;
        lastWrite = data.ftLastWriteTime;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    // A time stamp that has no DOS date (before 1980 or after 2107) counts as
    // no file at all.
    FILETIME local;
    WORD date = 0;
    WORD time = 0;
    return FileTimeToLocalFileTime(&lastWrite, &local) && FileTimeToDosDateTime(&local, &date, &time);
}

namespace {

std::string FullPathOf(const std::string& path) {
    const DWORD size = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::vector<char> buffer(size);
    const DWORD length = GetFullPathNameA(path.c_str(), size, buffer.data(), nullptr);
    return length > 0 && length < size ? std::string(buffer.data(), length) : path;
}

}  // namespace

void SaveTextFile(const std::string& path, const TextList& lines) {
    const win32::UniqueFile file = win32::OwnedOrEmpty<win32::UniqueFile>(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                    nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        win32::RaiseError(kFileCreateError, FormatText(texts::kCannotCreateFile,
                                                              {FullPathOf(path), win32::SystemErrorText(error)}));
    }
    std::string content;
    for (const std::string& line : lines) content.append(line).append("\r\n");
    if (content.empty()) return;
    DWORD written = 0;
    const BOOL ok = WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    if (!ok || written != content.size()) win32::RaiseError(kStreamWriteError, texts::kStreamWriteError);
}

}  // namespace updater
