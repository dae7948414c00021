#include "win32/own_image.h"

#include <vector>

#include "win32/file_handles.h"
#include "win32/system_library.h"
#include "win32/win32_handles.h"

namespace updater::win32 {

namespace {

using UniqueMapping = UniqueHandle<HANDLE, CloseHandle>;
using UniqueView = UniqueHandle<void*, UnmapViewOfFile>;

constexpr LONG kStatusSuccess = 0;

// The held file: empty until HoldOwnImage found the running image's file.
UniqueFile& HeldImage() {
    static UniqueFile file;
    return file;
}

// The running executable's path in UTF-16, whatever code page 932 can spell.
std::wstring OwnPathW() {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return L"";
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

// True when `file` is the file the running image was mapped from: ntdll's
// NtAreMappedFilesTheSame, the system's own test of whether an image view
// and a view of a file come from one file, asked about the image and a view
// of `file`. It compares the files themselves, not their names or bytes: a
// copy of the program, even byte for byte, is another file.
bool IsRunningImageFile(HANDLE file) {
    using Compare = LONG(NTAPI*)(PVOID image, PVOID view);
    const auto compare = Entry<Compare>(GetModuleHandleA("ntdll.dll"), "NtAreMappedFilesTheSame");
    const UniqueMapping mapping(CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!compare || !mapping) return false;
    const UniqueView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    return view && compare(GetModuleHandleW(nullptr), view.get()) == kStatusSuccess;
}

}  // namespace

void HoldOwnImage() {
    const std::wstring path = OwnPathW();
    if (path.empty()) return;
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file && IsRunningImageFile(file.get())) HeldImage() = std::move(file);
}

std::string_view LoadedImageHeaders() {
    // The program's own image, whose headers the loader has checked.
    const auto* base = reinterpret_cast<const char*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    return std::string_view(base, nt->OptionalHeader.SizeOfHeaders);
}

std::optional<std::string> ReadOwnImageFile(std::size_t limit) {
    if (!HeldImage()) return std::nullopt;
    return ReadWholeFile(HeldImage().get(), limit);
}

}  // namespace updater::win32
