#include "win32/held_folders.h"

#include "win32/file_handles.h"

namespace updater::win32 {

namespace {

// Listing access takes part in sharing checks (attribute access alone does
// not), so leaving out delete sharing keeps every opener with DELETE out.
UniqueFile OpenHeld(const std::wstring& path, bool followLinks) {
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    return UniqueFile(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags, nullptr));
}

bool IsFolder(HANDLE handle) {
    FILE_BASIC_INFO basic;
    return GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) &&
           (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

std::optional<HeldFolder> HoldRoot(const std::wstring& path) {
    UniqueFile handle = OpenHeld(path, true);
    if (!handle || !IsFolder(handle.get())) return std::nullopt;
    std::wstring finalPath = FinalPathOf(handle.get());
    if (finalPath.empty()) return std::nullopt;
    return HeldFolder{std::move(handle), std::move(finalPath)};
}

std::optional<HeldFolder> HoldRealFolder(const HeldFolder& parent, const std::wstring& name, bool create) {
    const std::wstring path = FinalPathIn(parent.finalPath, name);
    UniqueFile handle = OpenHeld(path, false);
    if (!handle && create) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return std::nullopt;
        // Whatever stands there after a lost race is checked like any other.
        if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return std::nullopt;
        handle = OpenHeld(path, false);
    }
    if (!handle || !IsRealFolderAt(handle.get(), path)) return std::nullopt;
    return HeldFolder{std::move(handle), path};
}

bool HeldPath::MoveTo(const std::wstring& root, const std::vector<std::wstring>& names, bool create) {
    if (folders_.empty() || root != root_) {
        Fail();
        std::optional<HeldFolder> held = HoldRoot(root);
        if (!held) return false;
        root_ = root;
        folders_.push_back(std::move(*held));
    }
    std::size_t shared = 0;
    while (shared < names_.size() && shared < names.size() && names_[shared] == names[shared]) ++shared;
    names_.resize(shared);
    folders_.resize(shared + 1);
    for (std::size_t next = shared; next < names.size(); ++next) {
        std::optional<HeldFolder> held = HoldRealFolder(folders_.back(), names[next], create);
        if (!held) return Fail();
        names_.push_back(names[next]);
        folders_.push_back(std::move(*held));
    }
    return true;
}

bool HeldPath::Fail() {
    root_.clear();
    names_.clear();
    folders_.clear();
    return false;
}

}  // namespace updater::win32
