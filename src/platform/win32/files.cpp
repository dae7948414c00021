// File system: folder search, attributes, existence, and writing a text file.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_support.h"
#include "text/path.h"
#include "text/text.h"
#include "text/texts.h"

namespace updater {

namespace {

win32::UniqueFind FindFirst(const std::string& pattern, WIN32_FIND_DATAA& data) {
    return win32::OwnedOrEmpty<win32::UniqueFind>(FindFirstFileA(pattern.c_str(), &data));
}

// A failure whose code the system left at 0 is still a failure.
std::uint32_t FailureCode(DWORD error) { return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE; }

// The identity of the folder `path` leads to, links followed: the volume's
// serial number and the file index within it.
bool ReadFolderIdentity(const std::string& path, FolderListing& listing) {
    const win32::UniqueFile folder = win32::OwnedOrEmpty<win32::UniqueFile>(
        CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    if (!folder || !GetFileInformationByHandle(folder.get(), &information)) {
        listing.error = FailureCode(GetLastError());
        return false;
    }
    listing.identity.volume = information.dwVolumeSerialNumber;
    listing.identity.file = (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
    return true;
}

bool IsDotEntry(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

EntryKind GetEntryKind(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return EntryKind::Missing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::Folder : EntryKind::File;
}

// Every entry is listed, hidden and system ones included. Only "no more
// files" ends a folder, and "file not found" at the first search means an
// empty one (a drive's root has no "." and ".."); any other failure, at the
// first entry or later, means the folder was not read whole, and so does an
// entry whose full path reaches the ANSI path limit.
FolderListing ListFolder(const std::string& folder) {
    FolderListing listing;
    if (!ReadFolderIdentity(folder, listing)) return listing;
    WIN32_FIND_DATAA data;
    const win32::UniqueFind find = FindFirst(JoinPath(folder, "*.*"), data);
    if (!find) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) listing.error = FailureCode(error);
        return listing;
    }
    const std::size_t prefix = JoinPath(folder, "").size();
    do {
        if (IsDotEntry(data.cFileName)) continue;
        // An entry that no ANSI call can name cannot be looked at or copied:
        // the folder is not listed whole.
        if (prefix + std::strlen(data.cFileName) >= MAX_PATH) {
            listing.error = ERROR_FILENAME_EXCED_RANGE;
            return listing;
        }
        listing.names.emplace_back(data.cFileName);
    } while (FindNextFileA(find.get(), &data));
    const DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES) listing.error = FailureCode(error);
    return listing;
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
