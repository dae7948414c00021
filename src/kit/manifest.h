// The manifest of a staged update, and the hashing it needs (its JSON
// strings: kit/json.h).
//
// update-manifest.json lies beside updater.exe in a staged folder (it is
// never copied: files beside updater.exe are not). It lists every file of
// the folder, updater.exe included, the manifest itself excepted, sorted by
// path:
//
//   {
//     "format": "update-kit manifest 1",
//     "product": "TORVEN",
//     "versionCode": "7.1.0.12",
//     "files": [
//       {"path": "bin\\ledger.dll", "size": 2048,
//        "sha256": "<64 lower-case hex digits>", "fileVersion": "13.10.0.1"},
//       {"path": "data\\rates.csv", "size": 12, "sha256": "...", "fileVersion": null}
//     ]
//   }
//
// "path" is the Windows path below the staged folder (and so below the
// product folder, except for updater.exe); "fileVersion" is the Japanese
// table's FileVersion as stored (UTF-8), or null when the file has none.
// "product" (the switch without its "/") and "versionCode" bind the update
// to the product line and version it was staged for; a signed updater
// refuses a manifest without them, or one that names another product line
// or version than its command line. Stage writes them when it is given them.
// The text is UTF-8 without a byte-order mark, LF line ends.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "rules/manifest_reader.h"

namespace updater::kit {

struct ManifestEntry {
    std::string path;  // Windows path below the staged folder, UTF-8
    std::uintmax_t size = 0;
    std::string sha256;                      // lower-case hex
    std::optional<std::string> fileVersion;  // UTF-8
};

// The SHA-256 of a file's bytes in lower-case hex (OpenSSL). Throws
// std::runtime_error when the file cannot be read.
std::string Sha256OfFile(const std::filesystem::path& file);

// One entry for the file `file`, listed as `windowsPath`.
ManifestEntry DescribeFile(const std::filesystem::path& file, const std::string& windowsPath);

// The manifest's text for `entries` (sorted here by path), bound to `target`
// when there is one.
std::string ManifestText(std::vector<ManifestEntry> entries,
                         const std::optional<ManifestTarget>& target = std::nullopt);

}  // namespace updater::kit
