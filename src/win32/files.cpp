// File system: folder search, attributes, existence, and writing a text file.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "rules/path.h"
#include "rules/text.h"
#include "rules/texts.h"
#include "seam/errors.h"
#include "seam/files.h"
#include "win32/file_handles.h"
#include "win32/folder_listing.h"
#include "win32/held_folders.h"
#include "win32/win32_handles.h"
#include "win32/win32_support.h"

namespace updater {

using win32::FinalPathIn;
using win32::FinalPathOf;
using win32::IsPlainFileAt;
using win32::kShareAll;
using win32::OpenForAttributes;
using win32::Wide;

namespace {

// `name` in the ANSI code page, and whether that spelling is exact: no
// character replaced or mapped onto a near match (the yen sign onto "\"),
// and converting it back gives `name` again.
std::string Narrow(const std::wstring& name, bool& exact) {
    const int length = static_cast<int>(name.size());
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.data(), length, nullptr, 0, nullptr,
                                         &usedDefault);
    std::string text(size > 0 ? size : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.data(), length, text.data(), size, nullptr,
                            &usedDefault);
    exact = size > 0 && !usedDefault && Wide(text) == name;
    return text;
}

// Whether a listed file is a link: a reparse point, more than one hard link,
// or a final path other than where it was listed (what a symbolic link to a
// file looks like where the system does not mark it). A file that cannot be
// looked at counts as one: nothing vouches for it. With `hold`, the file is
// looked at through the handle that holds it for its copy (`narrowName` is
// its name in the logic's words).
bool IsFileLink(const std::wstring& folderFinal, const std::wstring& folderPrefix, const std::wstring& name,
                const win32::HoldListedFile* hold, const std::string& narrowName) {
    if (hold) {
        const win32::ListedFile held = (*hold)(narrowName, folderPrefix + name, FinalPathIn(folderFinal, name));
        if (held != win32::ListedFile::kNotHeld) return held == win32::ListedFile::kLink;
    }
    const win32::UniqueFile file = OpenForAttributes(folderPrefix + name, kShareAll, false);
    return !file || !IsPlainFileAt(file.get(), FinalPathIn(folderFinal, name));
}

// The identity of the folder `path` leads to, links followed: the volume's
// serial number and the file index within it; and its final path.
bool ReadFolderIdentity(const std::wstring& path, FolderListing& listing, std::wstring& finalPath) {
    const win32::UniqueFile folder =
        OpenForAttributes(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, true);
    BY_HANDLE_FILE_INFORMATION information;
    if (!folder || !GetFileInformationByHandle(folder.get(), &information)) {
        listing.ok = false;
        return false;
    }
    listing.identity.volume = information.dwVolumeSerialNumber;
    listing.identity.file = (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
    finalPath = FinalPathOf(folder.get());
    return true;
}

bool IsDotEntry(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

}  // namespace

EntryKind GetEntryKind(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return EntryKind::kMissing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::kFolder : EntryKind::kFile;
}

// Every entry is listed, hidden and system ones included, under its real
// (Unicode) name, so that what its ANSI spelling stands for is known. Only
// "no more files" ends a folder, and "file not found" at the first search
// means an empty one (a drive's root has no "." and ".."); any other
// failure, at the first entry or later, means the folder was not read
// whole, and so does an entry whose full path reaches the ANSI path limit.
FolderListing ListFolder(const std::string& folder) { return win32::ListFolderHolding(folder, nullptr); }

FolderListing win32::ListFolderHolding(const std::string& folder, const HoldListedFile& hold) {
    FolderListing listing;
    const std::wstring folderPrefix = Wide(JoinPath(folder, ""));  // ends in "\\"
    std::wstring folderFinal;
    if (!ReadFolderIdentity(Wide(folder), listing, folderFinal)) return listing;
    WIN32_FIND_DATAW data;
    const win32::UniqueFind find(FindFirstFileW((folderPrefix + L"*.*").c_str(), &data));
    if (!find) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND) listing.ok = false;
        return listing;
    }
    const std::size_t prefix = JoinPath(folder, "").size();
    do {
        if (IsDotEntry(data.cFileName)) continue;
        FolderEntry entry;
        entry.name = Narrow(data.cFileName, entry.exactName);
        // An entry that no ANSI call can name cannot be looked at or copied:
        // the folder is not listed whole.
        if (!FitsAnsiCalls(prefix + entry.name.size())) {
            listing.ok = false;
            return listing;
        }
        entry.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
                     (!entry.folder && IsFileLink(folderFinal, folderPrefix, data.cFileName,
                                                  entry.exactName && hold ? &hold : nullptr, entry.name));
        listing.entries.push_back(std::move(entry));
    } while (FindNextFileW(find.get(), &data));
    if (GetLastError() != ERROR_NO_MORE_FILES) listing.ok = false;
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
        if (!win32::UniqueFind(FindFirstFileA(path.c_str(), &data))) return false;
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

std::optional<std::string> FullPathName(const std::string& path) {
    const DWORD size = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return std::nullopt;
    std::vector<char> buffer(size);
    const DWORD length = GetFullPathNameA(path.c_str(), size, buffer.data(), nullptr);
    if (length == 0 || length >= size) return std::nullopt;
    return std::string(buffer.data(), length);
}

namespace {

[[noreturn]] void RaiseCannotCreate(const std::string& path, DWORD error) {
    const std::string full = FullPathName(path).value_or(path);
    win32::RaiseError(kFileCreateError, FormatText(texts::kCannotCreateFile, {full, win32::SystemErrorText(error)}));
}

// The file opened for writing without following a link and without being
// emptied yet: the existing one, or a new one where there was none. Empty
// when something appeared at the name between the two tries (a link that
// leads nowhere, say).
win32::UniqueFile OpenLogFile(const std::string& path) {
    const auto open = [&](DWORD disposition) {
        return win32::UniqueFile(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    };
    win32::UniqueFile file = open(OPEN_EXISTING);
    if (file) return file;
    DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) RaiseCannotCreate(path, error);
    file = open(CREATE_NEW);
    if (file) return file;
    error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) RaiseCannotCreate(path, error);
    return file;
}

}  // namespace

// The folder is held open without delete sharing while the file is checked
// and written, so that it cannot be swapped for a link meanwhile; the file is
// checked on the handle it is then written through.
bool SaveTextFile(const std::string& parent, const std::string& folderName, const std::string& fileName,
                  const TextList& lines) {
    const std::optional<win32::HeldFolder> parentFolder = win32::HoldRoot(Wide(parent));
    if (!parentFolder) return false;
    const std::optional<win32::HeldFolder> folder = win32::HoldRealFolder(*parentFolder, Wide(folderName), false);
    if (!folder) return false;
    const std::wstring& folderFinal = folder->finalPath;
    const std::string folderPath = JoinPath(parent, folderName);

    const std::string path = JoinPath(folderPath, fileName);
    const win32::UniqueFile file = OpenLogFile(path);
    if (!file || !IsPlainFileAt(file.get(), FinalPathIn(folderFinal, Wide(fileName)))) return false;
    if (!win32::RewindFile(file.get()) || !SetEndOfFile(file.get()))
        RaiseCannotCreate(path, GetLastError());
    const std::string content = TextFileBytes(lines);
    if (content.empty()) return true;
    DWORD written = 0;
    const BOOL ok = WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    if (!ok || written != content.size()) win32::RaiseError(kStreamWriteError, texts::kStreamWriteError);
    return true;
}

std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit) {
    const win32::UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return std::nullopt;
    return win32::ReadWholeFile(file.get(), limit);
}

}  // namespace updater
