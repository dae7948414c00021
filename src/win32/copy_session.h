// What the folder listing asks of a run's copy session (copying.cpp): to
// hold the payload files it lists, so that their copy does not open them
// again.
#pragma once

#include <string>

#include "seam/copying.h"

namespace updater::win32 {

// What a listing found of a file it tried to hold for a copy session:
// held as a plain file at its final path (and kept in the session), a link
// (not kept), or not held, because it could not be opened with read sharing
// only (then the listing looks at it as at any other file).
enum class ListedFile { Held, Link, NotHeld };

// The payload file `path` (as the logic names it), opened at `openPath`
// like a copy's source and checked to be a plain file at `expected`.
ListedFile HoldListedFile(CopySessionState& session, const std::string& path, const std::wstring& openPath,
                          const std::wstring& expected);

}  // namespace updater::win32
