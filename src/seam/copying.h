// The copy of payload files into the product folder.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "seam/files.h"

namespace updater {

// The two folders a copy runs between: the update's and the product's.
struct CopyRoots {
    std::string source;
    std::string target;
};

// The copies of one run from `roots.source` into `roots.target`. The folders
// they pass stay held while it lives (no one can rename them or swap them
// for a link), so that consecutive copies into one folder open its path
// once. A `quiet` session's copies never show anything, not even the
// system's own error dialog.
struct CopySessionState;  // defined by each implementation
struct CopySessionCloser {
    void operator()(CopySessionState* session) const;
};
using CopySessionOwner = std::unique_ptr<CopySessionState, CopySessionCloser>;
class CopySession {
public:
    CopySession(CopyRoots roots, CopySessionOwner state) : roots_(std::move(roots)), state_(std::move(state)) {}
    // The roots as BeginCopies was given them.
    const CopyRoots& roots() const { return roots_; }
    CopySessionState* operator->() const { return state_.get(); }
    CopySessionState& state() const { return *state_; }

private:
    CopyRoots roots_;
    CopySessionOwner state_;
};

CopySession BeginCopies(const CopyRoots& roots, bool quiet = false);

// `folder` (below the session's source root) listed as ListFolder lists it;
// every file the listing finds to be no link is also held in the session as
// HoldPayloadFile holds it (read sharing only, so no one can write, rename
// or delete it), and the session's copy or hold of that file checks the
// held file where it lies then instead of opening it again. A file that
// cannot be held so is listed as without it.
FolderListing ListPayloadFolder(CopySession& session, const std::string& folder);

// Holds the payload file `path` until the session ends, with the folders
// from the session's source root down to it: the file is opened for reading
// as a plain file where it was listed, with read sharing only (no one can
// write, rename or delete it while it is held; the shell's copy can still
// read it), and its copy in this session reads it as held. Returns the
// size and SHA-256 of its bytes, read through the held handle; nothing
// when it cannot be held so or read.
std::optional<FileDigest> HoldPayloadFile(CopySession& session, const std::string& path);

// Copies `source`, below the session's source root, over `destination`
// (the new file's full name) below its target root, creating missing
// folders. Both are full paths as FullPathName resolves them, found below
// their roots by the caller; a path that does not lie below its root
// as written is no copy. The new file is written beside the installed one under
// kTemporaryCopyName and then replaces it by name in one step, so the installed file is either the old
// one or the whole new one; a link or hard link standing at `destination`
// is replaced, its target and other names are not written. False, with the
// installed file as it was and no temporary file left, when the copy did
// not happen: also when a folder between a root and its file (not the root
// itself) is a link, or the source is not a plain file, or the new file's
// bytes are not the source's (another program wrote into it). The system
// may show its own error dialog unless the session is quiet.
bool CopyFileOver(CopySession& session, const std::string& source, const std::string& destination);

}  // namespace updater
