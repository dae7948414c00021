#include "update/payload.h"

#include <algorithm>

#include "text/path.h"

namespace updater {

namespace {

struct Walk {
    ListMode mode;
    std::size_t depthAbove;  // folders above the one asked for
    std::string updaterName;
    std::vector<FolderIdentity> path;  // the folders being listed, outermost first
    PayloadListing result;
};

// False when a folder could not be listed; the walk stops there.
bool ListInto(Walk& walk, const std::string& folder) {
    const FolderListing listing = ListFolder(folder);
    if (!listing.ok()) {
        walk.result.unreadableFolder = folder;
        return false;
    }
    if (walk.path.size() == walk.depthAbove) walk.result.identity = listing.identity;
    // A link back to a folder that is being listed would list it forever.
    if (std::find(walk.path.begin(), walk.path.end(), listing.identity) != walk.path.end()) return true;
    walk.path.push_back(listing.identity);
    for (const std::string& name : listing.names) {
        if (name == walk.updaterName) continue;
        const std::string path = JoinPath(folder, name);
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

PayloadListing ListPayload(ListMode mode, const std::string& folder, const std::vector<FolderIdentity>& above) {
    Walk walk{mode, above.size(), FileNameOfPath(GetExecutablePath()), above, {}};
    ListInto(walk, folder);
    return std::move(walk.result);
}

}  // namespace updater
