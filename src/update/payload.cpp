#include "update/payload.h"

#include <algorithm>
#include <vector>

#include "rules/path.h"
#include "rules/payload_entry.h"
#include "seam/copying.h"
#include "seam/files.h"
#include "seam/process.h"

namespace updater {

namespace {

enum class ListMode { kFoldersOnly, kFilesDeep };

struct Listing {
    ListMode mode;
    std::size_t depthAbove;  // folders above the one asked for
    std::string updaterName;
    std::vector<FolderIdentity> path;  // the folders being listed, outermost first
    CopySession* holdFilesIn;          // where listed files are held; none: not held
    std::vector<std::string> paths;
    FolderIdentity identity;       // of the folder asked for
    std::string unreadableFolder;  // "" when every folder was listed whole
};

// False when a folder could not be listed whole; the listing stops there.
bool ListInto(Listing& out, const std::string& folder) {
    const auto fail = [&] {
        out.unreadableFolder = folder;
        return false;
    };
    const FolderListing read = out.holdFilesIn ? ListPayloadFolder(*out.holdFilesIn, folder) : ListFolder(folder);
    if (!read.ok) return fail();
    if (out.path.size() == out.depthAbove) out.identity = read.identity;
    // A folder that is already being listed can only be reached through a
    // link the system did not report as one.
    if (std::find(out.path.begin(), out.path.end(), read.identity) != out.path.end()) return fail();
    out.path.push_back(read.identity);
    for (const FolderEntry& entry : read.entries) {
        const EntryVerdict verdict =
            RulePayloadEntry({entry.name, entry.exactName, entry.link}, out.updaterName).verdict;
        if (verdict == EntryVerdict::kSkipAsUpdater) continue;
        // Loose files beside the updater are never copied: only what is taken counts.
        if (out.mode == ListMode::kFoldersOnly && !entry.folder) continue;
        if (verdict == EntryVerdict::kRefuse) return fail();
        const std::string path = JoinPath(folder, entry.name);
        // Asked afresh: the entry may have changed since the folder was read.
        const EntryKind kind = GetEntryKind(path);
        if (kind == EntryKind::kMissing) continue;
        if (out.mode == ListMode::kFoldersOnly) {
            if (kind == EntryKind::kFolder) out.paths.push_back(path);
        } else if (kind == EntryKind::kFolder) {
            if (!ListInto(out, path)) return false;
        } else {
            out.paths.push_back(path);
        }
    }
    out.path.pop_back();
    return true;
}

// FoldersOnly: the sub-folders of `folder`. FilesDeep: every file below it.
// `above` holds the identities of the folders above `folder`.
Listing List(ListMode mode, const std::string& folder, const std::string& updaterName,
             std::vector<FolderIdentity> above, CopySession* holdFilesIn = nullptr) {
    Listing listing{mode, above.size(), updaterName, std::move(above), holdFilesIn, {}, {}, {}};
    ListInto(listing, folder);
    return listing;
}

}  // namespace

UpdateFolder ThisUpdateFolder() {
    std::string path = GetExecutablePath();
    return {FolderOfPath(path), path, FileNameOfPath(path)};
}

PayloadWalk WalkPayload(const std::string& sourceRoot, const std::string& updaterName,
                        const std::function<bool(const std::string& file)>& visit, CopySession* session) {
    PayloadWalk result;
    const Listing folders = List(ListMode::kFoldersOnly, sourceRoot, updaterName, {});
    if (!folders.unreadableFolder.empty()) {
        result.unreadableFolder = folders.unreadableFolder;
        return result;
    }
    for (const std::string& folder : folders.paths) {
        // Only the files of the sub-folders are copied: the loose files
        // beside the updater are never held.
        const Listing files =
            List(ListMode::kFilesDeep, folder, updaterName, {folders.identity}, session);
        if (!files.unreadableFolder.empty()) {
            result.unreadableFolder = files.unreadableFolder;
            return result;
        }
        for (const std::string& file : files.paths) {
            if (!visit(file)) {
                result.stopped = true;
                return result;
            }
        }
    }
    return result;
}

}  // namespace updater
