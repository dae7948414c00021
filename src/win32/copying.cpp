// The copy of one payload file into the product's folder: whole or not at
// all, never through a link on either side, and never with bytes other than
// the payload file's.
//
// The folders from each root down to the file are held open without delete
// sharing and checked to be real folders where they were expected, so that
// none is swapped for a link while the shell copies; a run's copies hold
// them in one session, which keeps the folders of consecutive files open.
// The shell writes the new file under a temporary name beside the installed
// one. Only a plain file found there, held so that no one can write it any
// more and found to hold the payload file's bytes, replaces the installed
// name, in one rename through the handle that was checked. A program that
// wrote into the temporary file meanwhile makes the copy fail; one that
// still has it open keeps it (it is neither renamed nor removed). A link or
// a second hard link standing at the installed name is replaced as a name;
// its target and other names are not written.
//
// Nothing here flushes the new file to disk before the rename: after a
// power cut the installed name may hold the new file not yet written whole,
// as after any program's save.
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "rules/file_name.h"
#include "rules/path.h"
#include "seam/copying.h"
#include "seam/files.h"
#include "win32/file_digest.h"
#include "win32/file_handles.h"
#include "win32/folder_listing.h"
#include "win32/held_folders.h"
#include "win32/shell.h"
#include "win32/win32_handles.h"

namespace updater {

using win32::FinalPathIn;
using win32::UniqueFile;
using win32::Wide;

namespace {

// Where a file lies below its root: the root's full path, the folders
// between them (outermost first) and the file's name.
struct PlaceBelowRoot {
    std::wstring root;
    std::vector<std::wstring> folders;
    std::wstring name;
};

// Where the full path `path` lies below the full root `fullRoot` (ending in
// "\", as BeginCopies resolved it). A path not in the form FullPathName
// gives ("." or ".." steps, doubled or "/" separators) lies nowhere: the
// names are split as written, never resolved again.
// `fromExistingFolder`: a root that does not exist yet is taken from its
// nearest existing ancestor, the missing folders joining those between, so
// that they are made like any folder below the root. A root that `held`
// holds exists: it is not asked for again.
std::optional<PlaceBelowRoot> PlaceOf(const std::string& path, std::string fullRoot, bool fromExistingFolder,
                                      const win32::HeldPath* held = nullptr) {
    if (fullRoot.empty() || CollapseDotSegments(path) != path || !LiesBelow(path, fullRoot)) return std::nullopt;
    std::vector<std::string> folders;
    for (std::string folder = FolderOfPath(path); JoinPath(folder, "") != fullRoot; folder = FolderOfPath(folder)) {
        if (folder.size() <= fullRoot.size()) return std::nullopt;
        folders.push_back(FileNameOfPath(folder));
    }
    const bool rootHeld = held && held->HoldsRoot(Wide(fullRoot));
    while (fromExistingFolder && !rootHeld && GetEntryKind(fullRoot) == EntryKind::kMissing) {
        const std::string missing = WithoutTrailingSeparators(fullRoot);
        const std::string parent = JoinPath(FolderOfPath(missing), "");
        if (parent.size() >= fullRoot.size()) return std::nullopt;
        folders.push_back(FileNameOfPath(missing));
        fullRoot = parent;
    }
    PlaceBelowRoot place{Wide(fullRoot), {}, Wide(FileNameOfPath(path))};
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) place.folders.push_back(Wide(*folder));
    return place;
}

// The payload file at `path` opened for reading: while it is open, no one
// can write, rename or delete it; the shell's copy may still read it.
UniqueFile OpenSourceFile(const std::wstring& path) {
    return UniqueFile(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// The payload file opened as a plain file at `expected`.
UniqueFile HoldSourceFile(const std::wstring& expected) {
    UniqueFile file = OpenSourceFile(expected);
    if (file && !win32::IsPlainFileAt(file.get(), expected)) file.reset();
    return file;
}

// Clears the read-only flag of the open file: Windows renames nothing over
// a read-only file, and deletes none. True when it is writable now.
bool ClearReadOnly(HANDLE file) {
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) return false;
    if (!(basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) return true;
    basic.FileAttributes &= ~FILE_ATTRIBUTE_READONLY;
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic) != 0;
}

// Clears the read-only flag of the plain file at `path`. Never touches a
// link, whose target may lie anywhere. True when the file is writable now.
// Called once a rename was refused: most files are not read-only.
bool MakeWritable(const std::wstring& path) {
    // Asked by name first, which costs a fraction of an open; a missing
    // file needs nothing.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) return true;
    const UniqueFile file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, win32::kShareAll,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return file && win32::IsPlainFileAt(file.get(), path) && ClearReadOnly(file.get());
}

// Marks the open file for deletion: its name goes when its last handle
// closes.
bool DeleteOnClose(HANDLE file) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// Removes the file at `path` as a name, and only when no one has it open:
// a temporary file that another program (or another updater) uses is never
// taken from it. True when nothing stands there now. What resolves to
// another place is left alone (false): under Wine a symbolic link to a file
// opens as its target, and deleting it deletes the target. A file with
// other hard links loses only this name.
bool RemoveUnusedFile(const std::wstring& path) {
    // Without any sharing: the open fails while anyone else has the file open.
    const UniqueFile file(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE,
                                      0, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return GetLastError() == ERROR_FILE_NOT_FOUND;
    if (!win32::SamePath(win32::FinalPathOf(file.get()), path)) return false;
    if (DeleteOnClose(file.get())) return true;
    return GetLastError() == ERROR_ACCESS_DENIED && ClearReadOnly(file.get()) && DeleteOnClose(file.get());
}

// Makes a new, empty plain file at `path` for the shell to write into.
// Creating it anew fails on anything standing there, a link that leads
// nowhere included (which the shell's copy would follow, and which Wine
// cannot open without following it); what stands there is removed once, as
// a name, never through a link and never while someone has it open.
bool CreateTemporary(const std::wstring& path) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const UniqueFile file(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) return true;
        const DWORD error = GetLastError();
        if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || !RemoveUnusedFile(path)) return false;
    }
    return false;
}

// Renames the open file to `target` (a final path "\\?\..."), replacing
// what stands there as a name.
bool RenameOver(HANDLE file, const std::wstring& target) {
    static const std::wstring kFinalPrefix = L"\\\\?\\";
    if (target.compare(0, kFinalPrefix.size(), kFinalPrefix) != 0) return false;
    // The native call takes the same place as "\??\C:\...".
    const std::wstring native = L"\\??\\" + target.substr(kFinalPrefix.size());
    const std::size_t size = offsetof(FILE_RENAME_INFO, FileName) + (native.size() + 1) * sizeof(wchar_t);
    std::vector<std::max_align_t> buffer(size / sizeof(std::max_align_t) + 1);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(native.size() * sizeof(wchar_t));
    std::copy(native.begin(), native.end(), info->FileName);
    info->FileName[native.size()] = L'\0';
    return SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(size)) != 0;
}

// Renames the open new file over the installed one. A read-only installed
// file refuses the rename (under Windows; Wine renames over it): its flag
// is cleared and the rename tried once more.
bool RenameOverInstalled(HANDLE file, const std::wstring& target) {
    if (RenameOver(file, target)) return true;
    return GetLastError() == ERROR_ACCESS_DENIED && MakeWritable(target) && RenameOver(file, target);
}

// The new file at `temporary`, held so that no one can write, rename or
// delete it any more: the open fails while anyone else has it open for
// writing (a program that wrote into it, or still does). Empty then.
UniqueFile HoldTemporary(const std::wstring& temporary) {
    return UniqueFile(CreateFileW(temporary.c_str(), GENERIC_READ | DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// Replaces `target` with the new file at `temporary` when that is a plain
// file where it was written and holds exactly the bytes of the payload file
// open at `source`; anything else is no copy, and the temporary file is
// removed unless someone else has it open. Held from its check to its
// rename, it can be neither written nor swapped in between.
bool ReplaceWithTemporary(const std::wstring& temporary, const std::wstring& target, HANDLE source,
                          std::vector<char>& buffer) {
    {
        const UniqueFile file = HoldTemporary(temporary);
        if (file && win32::IsPlainFileAt(file.get(), temporary)) {
            if (win32::SameBytes(file.get(), source, buffer) && RenameOverInstalled(file.get(), target)) return true;
            if (DeleteOnClose(file.get())) return false;
        }
    }
    RemoveUnusedFile(temporary);
    return false;
}

}  // namespace

struct CopySessionState {
    // The roots as FullPathName resolves them, ending in "\"; "" for one
    // that cannot be resolved (nothing lies below it then).
    std::string sourceRoot;
    std::string targetRoot;
    win32::HeldPath source;
    win32::HeldPath target;
    // Payload files held for the whole session, and the paths from the
    // source root down to their folders, by the files' folder; all by full
    // path.
    std::map<std::string, win32::HeldPath> payloadFolders;
    std::map<std::string, UniqueFile> payloadFiles;
    // Payload files held since their listing, until their hold or copy
    // takes them.
    std::map<std::string, UniqueFile> listedFiles;
    // Nothing shown, not even the shell's error dialog.
    bool quiet = false;
    // Where each new file is compared with its payload file, kept from copy
    // to copy.
    std::vector<char> compareBuffer;
};

namespace {

// The payload file `path` held as a plain file at `expected`: the one its
// listing held, checked where it lies now, which spares an open; when the
// listing held none or it lies elsewhere now, the file opened at `expected`.
UniqueFile TakeSourceFile(CopySessionState& session, const std::string& path, const std::wstring& expected) {
    const auto listed = session.listedFiles.find(path);
    if (listed != session.listedFiles.end()) {
        UniqueFile file = std::move(listed->second);
        session.listedFiles.erase(listed);
        if (win32::IsPlainFileAt(file.get(), expected)) return file;
    }
    return HoldSourceFile(expected);
}

std::string FullRoot(const std::string& root) { return FullPathName(JoinPath(root, "")).value_or(""); }

}  // namespace

void CopySessionCloser::operator()(CopySessionState* session) const {
    std::default_delete<CopySessionState>()(session);
}

CopySession BeginCopies(const CopyRoots& roots, bool quiet) {
    auto session = std::make_unique<CopySessionState>();
    session->sourceRoot = FullRoot(roots.source);
    session->targetRoot = FullRoot(roots.target);
    session->quiet = quiet;
    return CopySession(roots, CopySessionOwner(session.release()));
}

FolderListing ListPayloadFolder(CopySession& session, const std::string& folder) {
    const std::optional<std::string> fullFolder = FullPathName(folder);
    if (!fullFolder) return ListFolder(folder);
    return win32::ListFolderHolding(folder, [&](const std::string& name, const std::wstring& openPath,
                                                const std::wstring& expected) {
        UniqueFile file = OpenSourceFile(openPath);
        if (!file) return win32::ListedFile::kNotHeld;
        if (!win32::IsPlainFileAt(file.get(), expected)) return win32::ListedFile::kLink;
        session->listedFiles.insert_or_assign(JoinPath(*fullFolder, name), std::move(file));
        return win32::ListedFile::kHeld;
    });
}

std::optional<FileDigest> HoldPayloadFile(CopySession& session, const std::string& path) {
    const std::optional<std::string> full = FullPathName(path);
    const std::optional<PlaceBelowRoot> place = full ? PlaceOf(*full, session->sourceRoot, false) : std::nullopt;
    if (!place) return std::nullopt;
    auto [kept, added] = session->payloadFolders.try_emplace(FolderOfPath(*full));
    if (added && !kept->second.MoveTo(place->root, place->folders, false)) {
        session->payloadFolders.erase(kept);
        return std::nullopt;
    }
    UniqueFile file =
        TakeSourceFile(session.state(), *full, FinalPathIn(kept->second.innermost().finalPath, place->name));
    if (!file) return std::nullopt;
    std::optional<FileDigest> digest = win32::DigestOfFile(file.get());
    session->payloadFiles.insert_or_assign(*full, std::move(file));
    return digest;
}

bool CopyFileOver(CopySession& session, const std::string& source, const std::string& destination) {
    const std::optional<PlaceBelowRoot> from = PlaceOf(source, session->sourceRoot, false);
    const std::optional<PlaceBelowRoot> to = PlaceOf(destination, session->targetRoot, true, &session->target);
    if (!from || !to) return false;
    // A payload file held since its check is read as held; any other is
    // held now, for its copy.
    UniqueFile sourceFile;
    const auto verified = session->payloadFiles.find(source);
    if (verified == session->payloadFiles.end()) {
        if (!session->source.MoveTo(from->root, from->folders, false)) return false;
        sourceFile =
            TakeSourceFile(session.state(), source, FinalPathIn(session->source.innermost().finalPath, from->name));
        if (!sourceFile) return false;
    }
    const HANDLE held = sourceFile ? sourceFile.get() : verified->second.get();
    if (!session->target.MoveTo(to->root, to->folders, true)) return false;

    // The shell writes into a file made here: it would write through
    // whatever stood at the name, a temporary file left by a run that ended
    // mid-copy or a link.
    const std::wstring& folder = session->target.innermost().finalPath;
    const std::wstring temporary = FinalPathIn(folder, Wide(kTemporaryCopyName));
    if (!CreateTemporary(temporary)) return false;
    if (!win32::ShellCopyFile(source, JoinPath(FolderOfPath(destination), kTemporaryCopyName), session->quiet)) {
        RemoveUnusedFile(temporary);
        return false;
    }
    return ReplaceWithTemporary(temporary, FinalPathIn(folder, to->name), held, session->compareBuffer);
}

}  // namespace updater
