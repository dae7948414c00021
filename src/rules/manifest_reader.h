// Reads update-manifest.json, the list of files its signer staged (written
// by update-kit stage; see src/kit/manifest.h for the format). The text comes
// from the update folder, which anyone may have changed, so the reader takes
// nothing on trust: it reads only within the text, nests no deeper than the
// format does, and refuses anything the format does not allow (other types,
// duplicate keys, malformed UTF-8 or escapes, sizes past 2^63, hashes that
// are not 64 lower-case hex digits, two entries of one path, a product line
// without its version code or the other way round).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rules/manifest_format.h"

namespace updater {

struct ManifestFile {
    std::string path;  // UTF-8, "\"-separated, below the update folder
    std::uint64_t size = 0;
    std::string sha256;  // 64 lower-case hex digits
};

// What the update was staged for: the product line as its switch names it
// without the "/" ("TORVEN") and the version code the command line gives
// ("7.1.0.12"), both UTF-8 and not empty.
struct ManifestTarget {
    std::string product;
    std::string versionCode;
    bool operator==(const ManifestTarget& other) const {
        return product == other.product && versionCode == other.versionCode;
    }
};

struct Manifest {
    std::optional<ManifestTarget> target;  // nothing when the manifest names none
    std::vector<ManifestFile> files;       // in the order they are listed
};

// The manifest, or nothing when the text is not a manifest of this format.
// "product" and "versionCode" come together or not at all. Members other
// than those, "format" and "files", and "fileVersion" in an entry, are
// allowed and not kept.
std::optional<Manifest> ReadManifest(std::string_view text);

}  // namespace updater
