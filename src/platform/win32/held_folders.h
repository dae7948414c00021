// Folders held open while something is read or written inside them, so that
// none of them can be renamed, deleted or swapped for a link meanwhile.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/win32/win32_handles.h"

namespace updater::win32 {

// A folder opened for listing without delete sharing: while the handle is
// open, no one can open it for deleting or renaming it (write sharing is
// left, so files inside it can still be written).
struct HeldFolder {
    UniqueFile handle;
    std::wstring finalPath;  // "\\?\C:\..." as the system resolved it
};

// `path` held, links followed (a root is whatever its owner made it); empty
// when it is no folder or cannot be opened so.
std::optional<HeldFolder> HoldRoot(const std::wstring& path);

// The folder `name` in `parent` held, without following a link: empty when
// it is a reparse point, no folder, or lies anywhere but at the parent's
// final path + name. A missing folder is created first when `create`.
std::optional<HeldFolder> HoldRealFolder(const HeldFolder& parent, const std::wstring& name, bool create);

// The root and then each of `names` below the one before, held; the last
// one is the innermost folder. Empty when any of them fails.
std::optional<std::vector<HeldFolder>> HoldFolderChain(const std::wstring& root,
                                                       const std::vector<std::wstring>& names, bool create);

}  // namespace updater::win32
