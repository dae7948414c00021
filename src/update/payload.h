// Lists the payload: the files in the sub-folders beside the updater.
#pragma once

#include <string>
#include <vector>

namespace updater {

enum class ListMode { FoldersOnly = 0, FilesDeep = 1 };

// FoldersOnly: the sub-folders of `folder`. FilesDeep: every file below
// `folder`, depth-first, a sub-folder's files at the place it was met. Entries
// stay in the order the folder search returns them; the updater's own file
// name is skipped at every depth. `folder` carries no trailing "\".
std::vector<std::string> ListPayload(ListMode mode, const std::string& folder);

}  // namespace updater
