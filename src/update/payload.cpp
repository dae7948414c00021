#include "update/payload.h"

#include <algorithm>

#include "rules/path.h"
#include "rules/payload_entry.h"
#include "seam/files.h"
#include "seam/process.h"

namespace updater {

namespace {

struct Walk {
    ListMode mode;
    std::size_t depthAbove;  // folders above the one asked for
    std::string updaterName;
    std::vector<FolderIdentity> path;  // the folders being listed, outermost first
    PayloadListing result;
};

// False when a folder could not be listed whole; the walk stops there.
bool ListInto(Walk& walk, const std::string& folder) {
    const auto fail = [&] {
        walk.result.unreadableFolder = folder;
        return false;
    };
    const FolderListing listing = ListFolder(folder);
    if (!listing.ok) return fail();
    if (walk.path.size() == walk.depthAbove) walk.result.identity = listing.identity;
    // A folder that is already being listed can only be reached through a
    // link the system did not report as one.
    if (std::find(walk.path.begin(), walk.path.end(), listing.identity) != walk.path.end()) return fail();
    walk.path.push_back(listing.identity);
    for (const FolderEntry& entry : listing.entries) {
        const EntryVerdict verdict =
            RulePayloadEntry({entry.name, entry.exactName, entry.link}, walk.updaterName).verdict;
        if (verdict == EntryVerdict::kSkipAsUpdater) continue;
        // Loose files beside the updater are never copied: only what is taken counts.
        if (walk.mode == ListMode::FoldersOnly && !entry.folder) continue;
        if (verdict == EntryVerdict::kRefuse) return fail();
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

PayloadListing ListPayload(ListMode mode, const std::string& folder, const std::vector<FolderIdentity>& above) {
    Walk walk{mode, above.size(), FileNameOfPath(GetExecutablePath()), above, {}};
    ListInto(walk, folder);
    return std::move(walk.result);
}

}  // namespace updater
