// update-kit check's rules for the manifest, as a signed updater applies them:
// - a signed updater.exe needs update-manifest.json and its detached
//   signature update-manifest.json.p7s, made by the certificate that signed
//   updater.exe (byte for byte), and the manifest must bind the update to a
//   product line and version code. Error otherwise. A signature without a
//   time stamp: warning.
// - a manifest, wherever there is one, must be one the updater can read and
//   must list exactly the staged files (the manifest and its signature
//   excepted) with their sizes and SHA-256. Error for each file missing,
//   extra or different.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "kit/findings.h"

namespace updater::kit {

// Appends the findings for the staged folder whose updater is `updaterName`,
// and sets what the manifest binds the update to.
void CheckManifestOf(const std::filesystem::path& staged, const std::string& updaterName, CheckResult& result);

}  // namespace updater::kit
