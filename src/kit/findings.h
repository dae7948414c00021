// What check's rules find (check.h, manifest_check.h), and how update-kit
// prints it: check prints it as text or JSON, stage as text before it
// refuses or goes on.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "rules/manifest_reader.h"

namespace updater::kit {

enum class Severity { kError, kWarning };

struct Finding {
    Severity severity;
    std::string path;    // below the staged folder, "/"-separated, as on disk; "." for the folder itself
    std::string reason;  // UTF-8
};

struct CheckResult {
    std::vector<Finding> findings;  // in walk order: names sorted within a folder, depth-first
    std::size_t filesChecked = 0;
    std::optional<ManifestTarget> target;  // what the manifest binds the update to, if anything
    std::size_t errors() const;
    std::size_t warnings() const;
    bool Passes(bool strict) const { return errors() == 0 && (!strict || warnings() == 0); }
};

// The findings as lines ("error: PATH: REASON"), the manifest's binding and
// a summary line, or as JSON: one object, with `moreMembers` (rendered
// members, each followed by ", ") before its findings.
std::string FindingsAsText(const CheckResult& result, bool strict);
std::string FindingsAsJson(const CheckResult& result, bool strict, const std::string& moreMembers = "");

}  // namespace updater::kit
