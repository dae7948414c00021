// The folder listings of the preview seam: what Windows lists in a folder
// and in what order (case-insensitive, by upper-cased UTF-16 units), with
// stat's (device, inode) as the folder's identity, so that a link back into
// the payload is recognised.
#pragma once

#include <string>

#include "seam/files.h"

namespace updater::preview {

class PathResolver;

// A name's place in a Windows listing: its UTF-16 units upper-cased (as the
// file system's case table does, one unit at a time), then the units themselves.
struct ListingKey {
    std::u16string upper;
    std::u16string exact;
    bool operator<(const ListingKey& other) const {
        return upper != other.upper ? upper < other.upper : exact < other.exact;
    }
};

// The listing key of a UTF-8 name.
ListingKey KeyOf(const std::string& utf8);

// The order Windows lists a folder's names in: by their UTF-16 units
// upper-cased, then by the units themselves. Names are UTF-8.
bool ListsBefore(const std::string& a, const std::string& b);

// The Windows folder `folder` as Windows lists it, read from the Linux folder
// `paths` maps it to: not ok when it maps to none, is no folder, cannot be
// read whole or holds a name no ANSI call can name.
FolderListing ReadFolder(const std::string& folder, PathResolver& paths);

}  // namespace updater::preview
