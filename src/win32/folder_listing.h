// The folder listing that ListFolder makes and a copy session's
// ListPayloadFolder makes holding the files it finds.
#pragma once

#include <functional>
#include <string>

#include "seam/files.h"

namespace updater::win32 {

// What a listing found of a file it tried to hold: held as a plain file at
// its final path (and kept by whoever held it), a link (not kept), or not
// held, because it could not be opened with read sharing only (then the
// listing looks at it as at any other file).
enum class ListedFile { kHeld, kLink, kNotHeld };

// Tries to hold the listed file `name`, opened at `openPath` and checked to
// be a plain file at the final path `expected`.
using HoldListedFile =
    std::function<ListedFile(const std::string& name, const std::wstring& openPath, const std::wstring& expected)>;

// `folder` listed as ListFolder lists it; with `hold`, every file whose
// name has an exact code page 932 spelling is offered to it first.
FolderListing ListFolderHolding(const std::string& folder, const HoldListedFile& hold);

}  // namespace updater::win32
