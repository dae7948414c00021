// The files a staged update holds beside its payload, by name, and the
// manifest's format: what update-kit stages and writes, and what the updater
// reads (manifest_reader.h) and update-kit check checks.
#pragma once

namespace updater {

// The updater as update-kit stages it. The updater itself never goes by this
// name: it takes its own from the path it was started from.
inline constexpr char kUpdaterFileName[] = "updater.exe";
// The manifest beside it (its text: kit/manifest.h), and the manifest's
// detached signature.
inline constexpr char kManifestFileName[] = "update-manifest.json";
inline constexpr char kManifestSignatureFileName[] = "update-manifest.json.p7s";
// The manifest's "format" member.
inline constexpr char kManifestFormatName[] = "update-kit manifest 1";

}  // namespace updater
