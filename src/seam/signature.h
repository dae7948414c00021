// Signatures: the running program's own and detached ones.
#pragma once

#include <optional>
#include <string>

#include "seam/files.h"

namespace updater {

// What the running program's own Authenticode signature says of its signer.
struct OwnSignature {
    enum class State { kUnsigned, kSigned, kUnreadable } state = State::kUnsigned;
    std::string certificate;  // the signer's certificate (DER) when Signed
    FileDigest digest;        // the program file's size and SHA-256 when Signed
};
// The signer of the running executable's embedded signature, as Windows
// shows it in the elevation prompt, read with the file's digest through the
// program's own file, held since its start, that no one can write, rename or
// delete meanwhile. Unsigned when the image Windows loaded carries no
// certificate table. Unreadable when it carries one and the held file is not
// the file the image was loaded from, or its signature cannot be read or
// does not verify against the signer's certificate. Raises PlatformError
// (kLibraryLoadError) when the system's signature library cannot be loaded.
OwnSignature ReadOwnSignature();

// The signer certificate (DER) of a detached PKCS#7 signature of `content`,
// or nothing when the signature does not hold for these bytes.
std::optional<std::string> VerifyDetachedSignature(const std::string& content, const std::string& signature);

}  // namespace updater
