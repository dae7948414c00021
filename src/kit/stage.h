// update-kit stage: builds a ready-to-ship update folder from an updater
// and a payload folder, checked first, optionally signed, with a manifest.
//
//   update-kit stage --updater EXE --payload DIR --out DIR
//                    [--sign P12 --product NAME --version-code CODE [--ca-file PEM] [--timestamp URL]]
//                    [--target-root WINPATH] [--source-root WINPATH] [--strict]
//
// 1. The payload is checked as if updater.exe lay in it (check's rules;
//    the source root defaults to the Downloads folder plus OUT's name).
//    Errors (and with --strict warnings) refuse the stage: exit 1.
// 2. Everything is built in a fresh folder beside OUT (".OUT.staging-XXXXXX"):
//    EXE as updater.exe, the payload's tree beside it (links to files are
//    copied as files).
// 3. With --sign, updater.exe is signed with osslsigncode from the PKCS#12
//    file P12 (password from the environment variable
//    UPDATE_KIT_SIGN_PASSWORD, handed to osslsigncode on its standard
//    input), countersigned by the RFC 3161 time-stamp authority at
//    --timestamp URL when given (else a warning: the signature ends with
//    the certificate), and verified with `osslsigncode verify` against
//    --ca-file (default: the system's certificate bundle).
// 4. update-manifest.json (see manifest.h) lists every file, hashed after
//    signing, and names the product line and version code the update is
//    for (required with --sign); with --sign it is signed too
//    (update-manifest.json.p7s, a detached CMS signature by the same
//    certificate and key, checked against updater.exe's signer before the
//    folder is handed over).
// 5. The folder is renamed to OUT. OUT must not exist or be an empty
//    folder. On any failure the folder is removed and OUT is untouched.
#pragma once

#include <optional>
#include <string>

#include "kit/check.h"
#include "kit/commands.h"
#include "rules/manifest_reader.h"

namespace updater::kit {

inline constexpr char kSignPasswordVariable[] = "UPDATE_KIT_SIGN_PASSWORD";

struct StageOptions {
    std::string updater, payload, out, p12, caFile;  // p12 "" for no signing
    std::string timestampUrl;                        // "" for no time stamp
    std::optional<ManifestTarget> target;            // required with p12
    bool strict = false;
    CheckOptions check;
};

// The stage itself (steps 1 to 5) for options the command has validated;
// returns the exit status. Throws std::invalid_argument for a root that is
// not code page 932, another exception when the work fails.
int Stage(const StageOptions& options);

}  // namespace updater::kit
