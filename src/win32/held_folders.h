// Folders held open while something is read or written inside them, so that
// none of them can be renamed, deleted or swapped for a link meanwhile.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "win32/win32_handles.h"

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

// The folders from a root down to one folder below it, held. Moved to
// another folder, it keeps the folders both paths share and holds only the
// rest: consecutive files of one folder open its path once.
class HeldPath {
public:
    // Holds `root` and then each of `names` below the one before (a missing
    // one created when `create`). False, holding nothing, when any fails.
    bool MoveTo(const std::wstring& root, const std::vector<std::wstring>& names, bool create);
    // True while `root` is held (as MoveTo's `root`): it exists and cannot
    // be renamed or deleted.
    bool HoldsRoot(const std::wstring& root) const { return !folders_.empty() && root == root_; }
    // The folder last moved to; only after MoveTo returned true.
    const HeldFolder& innermost() const { return folders_.back(); }

private:
    bool Fail();

    std::wstring root_;
    std::vector<std::wstring> names_;
    std::vector<HeldFolder> folders_;  // the root, then one for each of names_
};

}  // namespace updater::win32
