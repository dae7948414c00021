#include "kit/preview/listing.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "kit/preview/path_resolver.h"
#include "native/cp932_codec.h"
#include "rules/path.h"
#include "seam/files.h"

namespace updater::preview {

namespace {

// The entry `utf8` at the Linux path `path` as Windows would list it. Its
// code page 932 name is the codec's exact spelling (the rule update-kit
// check applies); a name without one keeps its own bytes. A link is a
// symbolic link or a file with more than one hard link.
FolderEntry EntryOf(const std::string& path, const std::string& utf8) {
    FolderEntry entry;
    const std::optional<std::string> name = native::NameInCp932(utf8);
    entry.name = name ? *name : utf8;
    entry.exactName = name.has_value();
    struct stat own;
    if (lstat(path.c_str(), &own) != 0) {
        entry.link = true;  // nothing vouches for it
        return entry;
    }
    struct stat target;
    entry.folder = S_ISDIR(own.st_mode) || (S_ISLNK(own.st_mode) && stat(path.c_str(), &target) == 0 &&
                                            S_ISDIR(target.st_mode));
    entry.link = S_ISLNK(own.st_mode) || (!S_ISDIR(own.st_mode) && own.st_nlink > 1);
    return entry;
}

}  // namespace

// The codec's units and case key of a name, as the listing orders them.
ListingKey KeyOf(const std::string& utf8) {
    native::NameUnits name = native::UnitsOfName(utf8);
    return {std::move(name.caseKey), std::move(name.units)};
}

bool ListsBefore(const std::string& a, const std::string& b) { return KeyOf(a) < KeyOf(b); }

FolderListing ReadFolder(const std::string& folder, PathResolver& paths) {
    FolderListing listing;
    const PathResolver::Node* node = paths.MapUnder(folder).node;
    struct stat info;
    if (node == nullptr || stat(node->path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        listing.ok = false;
        return listing;
    }
    const auto device = static_cast<std::uint64_t>(info.st_dev);
    listing.identity = {static_cast<std::uint32_t>(device ^ (device >> 32)), static_cast<std::uint64_t>(info.st_ino)};

    std::vector<std::pair<const ListingKey*, FolderEntry>> entries;
    const std::size_t prefix = JoinPath(folder, "").size();
    bool tooLong = false;
    const PathResolver::FolderRead& read = paths.Read(node->path);
    for (const auto& [key, utf8] : read.entries) {
        FolderEntry entry = EntryOf(JoinLinuxPath(node->path, utf8), utf8);
        // An entry no ANSI call can name: the folder is not listed whole.
        if (!FitsAnsiCalls(prefix + entry.name.size())) tooLong = true;
        entries.emplace_back(&key, std::move(entry));
    }
    if (read.error != 0 || tooLong) {
        listing.ok = false;
        return listing;
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return *a.first < *b.first; });
    listing.entries.reserve(entries.size());
    for (auto& entry : entries) listing.entries.push_back(std::move(entry.second));
    return listing;
}

}  // namespace updater::preview
