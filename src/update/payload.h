// Walks the payload: the files in the sub-folders beside the updater.
#pragma once

#include <functional>
#include <string>

#include "seam/copying.h"

namespace updater {

// The update's folder, where the running updater lies: read once a run.
struct UpdateFolder {
    std::string root;         // the folder, as FolderOfPath gives it
    std::string updaterPath;  // the running updater's full path
    std::string updaterName;  // its file name, passed over by the walk
};

UpdateFolder ThisUpdateFolder();

// How a walk of the payload ended.
struct PayloadWalk {
    std::string unreadableFolder;  // the folder that could not be listed whole; "" when none
    bool stopped = false;          // the visitor stopped the walk

    bool whole() const { return unreadableFolder.empty() && !stopped; }
};

// Visits every payload file below `sourceRoot` (no trailing "\"), in the
// order the updater takes them: the sub-folders of `sourceRoot` as the folder
// search returns them (loose files beside the updater are no payload), and
// in each every file below it, depth-first, a sub-folder's files at the
// place it was met. The updater's own file name `updaterName` is passed
// over at every depth. Each sub-folder of `sourceRoot` is listed whole before its first
// file is visited, so nothing of one that cannot be listed is.
//
// A folder cannot be listed whole when the system cannot list it, when an
// entry taken from it is refused (RulePayloadEntry: a link, a name with no
// exact code page 932 spelling or one Windows would take for another), and when
// it is already on the path being listed. The walk stops at the first such
// folder and names it, or when `visit` returns false.
//
// With `session`, the files listed are held in it from their listing on
// (see ListPayloadFolder), so that their copy or hold does not open them
// again.
PayloadWalk WalkPayload(const std::string& sourceRoot, const std::string& updaterName,
                        const std::function<bool(const std::string& file)>& visit, CopySession* session = nullptr);

}  // namespace updater
