// stage --sign: updater.exe signed by osslsigncode and verified, and the
// manifest's detached signature (manifest_signature.h) made and checked as
// the signed updater will check it.
#pragma once

#include <filesystem>
#include <string>

namespace updater::kit {

// Signs `updater` in place with the PKCS#12 file `p12` (its password handed
// to osslsigncode on its standard input), the signature countersigned by the
// RFC 3161 time-stamp authority at `timestampUrl` unless it is "", then
// verifies the signature against `caFile` ("" for osslsigncode's own
// bundle). Throws std::runtime_error with osslsigncode's output when either
// fails, a time stamp that cannot be had included.
void SignUpdater(const std::filesystem::path& updater, const std::string& p12, const std::string& caFile,
                 const std::string& timestampUrl, const std::string& password);

// Writes update-manifest.json.p7s for `manifest` into `staged` after
// checking it as the updater will: it verifies, and its signer is
// updater.exe's. Throws std::runtime_error otherwise.
void SignManifest(const std::filesystem::path& staged, const std::string& manifest, const std::string& p12,
                  const std::string& password);

}  // namespace updater::kit
