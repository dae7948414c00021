// A release laid out as it installs (the product folder's layout), as
// update-kit diff reads it: its files with their sizes and identities.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace updater::kit {

struct ReleaseFile {
    std::string relative;  // below the release's folder, "/"-separated, as on disk
    std::uint64_t size = 0;
    dev_t device = 0;      // with `inode`: two names of one file hold the same bytes
    ino_t inode = 0;
};

struct ReleaseTree {
    std::filesystem::path root;
    std::vector<ReleaseFile> files;  // names sorted within a folder, depth-first
    // Entries that are neither a file (or a link to one) nor a folder: a
    // link to a folder, a broken link, a device. Nobody can say what they deliver.
    std::vector<std::string> strangeEntries;

    std::filesystem::path PathOf(const ReleaseFile& file) const { return root / file.relative; }
};

// Reads the tree below `root`. Throws std::filesystem::filesystem_error when
// a folder cannot be read.
ReleaseTree ReadReleaseTree(const std::filesystem::path& root);

// For each of `others`, whether it holds the bytes of `file`; all are `size`
// bytes long. The files are read side by side, each byte at most once, and
// a file is read no further than its first difference. Throws
// std::runtime_error when one cannot be read, or its size is not `size`.
std::vector<bool> SameContents(const std::filesystem::path& file, std::uint64_t size,
                               const std::vector<std::filesystem::path>& others);

}  // namespace updater::kit
