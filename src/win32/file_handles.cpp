#include "win32/file_handles.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace updater::win32 {

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

namespace {

// What an open handle is: its attributes and its number of names. Asked
// for apart, without the volume's details that GetFileInformationByHandle
// also gathers (under Wine those cost ten times the rest, and this is
// asked for every payload file).
struct HandleKind {
    DWORD attributes = 0;
    DWORD links = 0;
};

bool ReadHandleKind(HANDLE handle, HandleKind& kind) {
    FILE_ATTRIBUTE_TAG_INFO tag;
    FILE_STANDARD_INFO standard;
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) ||
        !GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard))
        return false;
    kind.attributes = tag.FileAttributes;
    kind.links = standard.NumberOfLinks;
    return true;
}

}  // namespace

std::wstring Wide(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(size > 0 ? size : 0, L'\0');
    if (size > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

UniqueFile OpenForAttributes(const std::wstring& path, DWORD share, bool followLinks) {
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    return UniqueFile(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, share, nullptr, OPEN_EXISTING, flags, nullptr));
}

std::wstring FinalPathOf(HANDLE handle) {
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), 0);
    if (length >= path.size()) {
        path.resize(length);
        length = GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), 0);
    }
    if (length == 0 || length >= path.size()) return std::wstring();
    path.resize(length);
    return path;
}

std::wstring FinalPathIn(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty()) return std::wstring();
    return folder.back() == L'\\' ? folder + name : folder + L'\\' + name;
}

bool IsPlainFileAt(HANDLE file, const std::wstring& expected) {
    HandleKind kind;
    if (!ReadHandleKind(file, kind)) return false;
    if (kind.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    return kind.links == 1 && SamePath(FinalPathOf(file), expected);
}

bool IsRealFolderAt(HANDLE folder, const std::wstring& expected) {
    HandleKind kind;
    if (!ReadHandleKind(folder, kind)) return false;
    if (!(kind.attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    if (kind.attributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
    return SamePath(FinalPathOf(folder), expected);
}

namespace {

// Reads exactly `size` bytes from the handle's file pointer on. Plain
// reads: a read given an OVERLAPPED (for its offset) also asks the Wine
// server, once a read, whether a completion port waits for it.
bool ReadNext(HANDLE file, char* into, DWORD size) {
    DWORD done = 0;
    while (done < size) {
        DWORD read = 0;
        if (!ReadFile(file, into + done, size - done, &read, nullptr) || read == 0) return false;
        done += read;
    }
    return true;
}

}  // namespace

bool RewindFile(HANDLE file) {
    const LARGE_INTEGER start = {};
    return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != 0;
}

bool SameBytes(HANDLE a, HANDLE b, std::vector<char>& buffer) {
    LARGE_INTEGER sizeA;
    LARGE_INTEGER sizeB;
    if (!GetFileSizeEx(a, &sizeA) || !GetFileSizeEx(b, &sizeB) || sizeA.QuadPart != sizeB.QuadPart) return false;
    if (!RewindFile(a) || !RewindFile(b)) return false;
    constexpr std::size_t kChunk = 256 * 1024;
    if (buffer.size() < 2 * kChunk) buffer.resize(2 * kChunk);
    char* const chunkA = buffer.data();
    char* const chunkB = buffer.data() + kChunk;
    const std::uint64_t size = static_cast<std::uint64_t>(sizeA.QuadPart);
    for (std::uint64_t offset = 0; offset < size; offset += kChunk) {
        const DWORD length = static_cast<DWORD>(std::min<std::uint64_t>(size - offset, kChunk));
        if (!ReadNext(a, chunkA, length) || !ReadNext(b, chunkB, length) || std::memcmp(chunkA, chunkB, length) != 0)
            return false;
    }
    return true;
}

std::optional<std::string> ReadWholeFile(HANDLE file, std::size_t limit) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0 || static_cast<std::uint64_t>(size.QuadPart) > limit ||
        !RewindFile(file))
        return std::nullopt;
    std::string content(static_cast<std::size_t>(size.QuadPart), '\0');
    constexpr std::size_t kChunk = 1 << 20;
    for (std::size_t done = 0; done < content.size(); done += kChunk) {
        const DWORD want = static_cast<DWORD>(std::min(content.size() - done, kChunk));
        if (!ReadNext(file, content.data() + done, want)) return std::nullopt;
    }
    return content;
}

}  // namespace updater::win32
