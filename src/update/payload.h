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
// A folder cannot be listed whole when the system cannot list it, when an
// entry taken from it is a link, has a name that does not spell exactly
// itself, or a name Windows would take for another (see FaultOfName), and
// when it is already on the path being listed (`above` holds the folders
// above `folder`). That ends the listing: `unreadableFolder` names the
// folder and `paths` is incomplete.
//
// With `session`, the files listed are held in it from their listing on
// (see ListFolder), so that their copy or hold does not open them again.
PayloadListing ListPayload(ListMode mode, const std::string& folder,
                           const std::vector<FolderIdentity>& above = {}, CopySession* session = nullptr);

}  // namespace updater
