// Lists the payload: the files in the sub-folders beside the updater.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace updater {

enum class ListMode { FoldersOnly = 0, FilesDeep = 1 };

struct PayloadListing {
    std::vector<std::string> paths;
    FolderIdentity identity;       // of the folder listed
    std::string unreadableFolder;  // the folder that could not be listed; "" when all were

    bool ok() const { return unreadableFolder.empty(); }
};

// FoldersOnly: the sub-folders of `folder`. FilesDeep: every file below
// `folder`, depth-first, a sub-folder's files at the place it was met. Entries
// stay in the order the folder search returns them; the updater's own file
// name is skipped at every depth. `folder` carries no trailing "\".
//
// A folder that is already on the path being listed (`above` holds the
// folders above `folder`) is not entered again: a link leading back into the
// payload is listed once, through its real place, and otherwise passed over
// silently; passing one over is no failure and leaves nothing to report.
// A folder that cannot be listed ends the listing: `unreadableFolder` names
// it and `paths` is incomplete.
PayloadListing ListPayload(ListMode mode, const std::string& folder,
                           const std::vector<FolderIdentity>& above = {});

}  // namespace updater
