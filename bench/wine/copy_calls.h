// The calls the benchmark's copy programs make as the updater makes them:
// the shell's copy, a byte-for-byte comparison and a rename through a handle.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace bench {

// The updater's shell copy: FO_COPY with flags 0x2214, one source, the
// destination's full file name.
inline int ShellCopy(HWND owner, const std::string& source, const std::string& destination) {
    // Each name list ends in two NUL bytes.
    const std::string from = source + '\0' + '\0';
    const std::string to = destination + '\0' + '\0';
    SHFILEOPSTRUCTA operation = {};
    operation.hwnd = owner;
    operation.wFunc = FO_COPY;
    operation.pFrom = from.c_str();
    operation.pTo = to.c_str();
    operation.fFlags = 0x2214;
    return SHFileOperationA(&operation);
}

// A code page 932 text in UTF-16.
inline std::wstring Wide(const std::string& text) {
    const int size = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(size > 0 ? size - 1 : 0, L'\0');
    if (size > 1) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), size);
    return wide;
}

// True when both files hold the same bytes, read in lockstep from where
// their file pointers stand.
inline bool SameBytes(HANDLE a, HANDLE b, std::vector<char>& buffer) {
    LARGE_INTEGER sizeA, sizeB;
    if (!GetFileSizeEx(a, &sizeA) || !GetFileSizeEx(b, &sizeB) || sizeA.QuadPart != sizeB.QuadPart) return false;
    const DWORD half = static_cast<DWORD>(buffer.size() / 2);
    for (;;) {
        DWORD readA = 0, readB = 0;
        if (!ReadFile(a, buffer.data(), half, &readA, nullptr) ||
            !ReadFile(b, buffer.data() + half, half, &readB, nullptr) || readA != readB)
            return false;
        if (readA == 0) return true;
        if (std::memcmp(buffer.data(), buffer.data() + half, readA) != 0) return false;
    }
}

// Renames the open file over `destination` (a full path), as a name.
inline bool RenameOver(HANDLE file, const std::string& destination) {
    const std::wstring target = L"\\??\\" + Wide(destination);
    const std::size_t size = offsetof(FILE_RENAME_INFO, FileName) + (target.size() + 1) * sizeof(wchar_t);
    std::vector<std::max_align_t> storage(size / sizeof(std::max_align_t) + 1);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(storage.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, target.c_str(), (target.size() + 1) * sizeof(wchar_t));
    return SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(size)) != 0;
}

}  // namespace bench
