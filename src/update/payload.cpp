#include "update/payload.h"

#include <algorithm>

#include "text/file_name.h"
#include "text/path.h"

namespace updater {

namespace {

struct Walk {
    ListMode mode;
    std::size_t depthAbove;  // folders above the one asked for
    std::string updaterName;
    std::vector<FolderIdentity> path;  // the folders being listed, outermost first
    CopySessionState* holdFilesIn;     // where listed files are held; none: not held
    PayloadListing result;
};

// True when the entry can be taken into the payload as itself: its name
// spells exactly the file the system listed, no path built from it leads
// elsewhere, and it is no link.
bool IsTrustworthy(const FolderEntry& entry) {
    return entry.exactName && !entry.link && FaultOfName(entry.name) == NameFault::kNone;
}

// False when a folder could not be listed whole; the walk stops there.
bool ListInto(Walk& walk, const std::string& folder) {
    const auto fail = [&] {
        walk.result.unreadableFolder = folder;
        return false;
    };
    const FolderListing listing = ListFolder(folder, walk.holdFilesIn);
    if (!listing.ok) return fail();
    if (walk.path.size() == walk.depthAbove) walk.result.identity = listing.identity;
    // A folder that is already being listed can only be reached through a
    // link the system did not report as one.
    if (std::find(walk.path.begin(), walk.path.end(), listing.identity) != walk.path.end()) return fail();
    walk.path.push_back(listing.identity);
    for (const FolderEntry& entry : listing.entries) {
        if (entry.name == walk.updaterName) continue;
        // Loose files beside the updater are never copied: only what is taken counts.
        if (walk.mode == ListMode::FoldersOnly && !entry.folder) continue;
        if (!IsTrustworthy(entry)) return fail();
        const std::string path = JoinPath(folder, entry.name);
        // Asked afresh: the entry may have changed since the folder was read.
        const EntryKind kind = GetEntryKind(path);
        if (kind == EntryKind::Missing) continue;
        if (walk.mode == ListMode::FoldersOnly) {
            if (kind == EntryKind::Folder) walk.result.paths.push_back(path);
        } else if (kind == EntryKind::Folder) {
            if (!ListInto(walk, path)) return false;
        } else {
            walk.result.paths.push_back(path);
        }
    }
    walk.path.pop_back();
    return true;
}

}  // namespace

PayloadListing ListPayload(ListMode mode, const std::string& folder, const std::vector<FolderIdentity>& above,
                           CopySession* session) {
    // Only the files of a deep listing are copied; the loose files a
    // folder listing meets beside the updater are never held.
    CopySessionState* holdFilesIn = session && mode == ListMode::FilesDeep ? session->get() : nullptr;
    Walk walk{mode, above.size(), FileNameOfPath(GetExecutablePath()), above, holdFilesIn, {}};
    ListInto(walk, folder);
    return std::move(walk.result);
}

}  // namespace updater
