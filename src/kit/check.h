// update-kit check: lints a staged update folder (updater.exe beside the
// sub-folders that hold the payload) for what would go wrong on a customer's
// machine, before it ships.
//
// Rules, as the updater sees the folder on Windows (names and case as the
// native layer's codec judges them, native/cp932_codec.h):
// - Names: every name below the staged folder must survive the trip from
//   the name on disk (UTF-8) to code page 932 and back, with Windows's own
//   near matches ("é" becomes "e": not the same name); otherwise the
//   updater's ANSI calls cannot name the file. Error.
// - Case: Windows compares names case-insensitively. Two names in one folder
//   that are equal after Unicode simple upper-casing of every character
//   (ASCII, full-width Latin, Greek, Cyrillic, Roman numerals: every cased
//   letter code page 932 has) are one name there. Error.
// - Links: a link to a folder, a broken link, or anything that is neither a
//   file nor a folder, inside the staged folder. Error. A link to a file
//   counts as that file.
// - Path limit: a path the updater's ANSI calls use must stay below MAX_PATH
//   (260 including the terminating NUL), counted in code page 932 bytes: at
//   most 259 bytes. Checked for every file and folder on the source side
//   (SOURCE-ROOT\relative\path) and the destination side (the updater's own
//   mapping of the source path onto TARGET-ROOT). Below a folder already too
//   long on one side, nothing more is reported for that side. Error.
// - updater.exe (any ASCII case) must lie in the staged folder. Error.
// - Files directly beside updater.exe are never copied (the stage command's
//   manifest, update-manifest.json, excepted). Warning.
// - A PE file whose Japanese FileVersion is missing, not four items, or
//   "0.0.0.0" is copied whatever version is installed. Warning.
// - A file in a sub-folder named exactly (byte for byte, as the updater
//   compares) like the staged updater is skipped. Warning.
// - A payload in which no file would be copied. Warning.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "kit/commands.h"
#include "kit/findings.h"
#include "rules/path.h"  // kAnsiPathLimit, the path limit the check applies

namespace updater::kit {

// Where a downloaded update usually lies: the longest Windows user name
// (20 characters) under C:\Users, its Downloads folder, then the staged
// folder's own name.
inline constexpr char kDefaultSourceParent[] = "C:\\Users\\UUUUUUUUUUUUUUUUUUUU\\Downloads";

struct CheckOptions {
    std::string targetRoot = kDefaultTargetRoot;  // UTF-8, Windows path
    std::string sourceRoot;                       // UTF-8, Windows path; "" for the default
    // The stage command checks a payload folder before updater.exe is put
    // into it: then the updater counts as present under this name.
    std::optional<std::string> updaterToBeAdded;
};

// The default source root of the folder `staged`: kDefaultSourceParent and
// the folder's own name (UTF-8, Windows path).
std::string DefaultSourceRoot(const std::filesystem::path& staged);

// Lints `staged`. Throws std::filesystem::filesystem_error when a folder
// cannot be read, std::invalid_argument when a root is not code page 932.
CheckResult CheckStaged(const std::filesystem::path& staged, const CheckOptions& options);

}  // namespace updater::kit
