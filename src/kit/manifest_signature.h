// The manifest's detached CMS signature and the updater's Authenticode
// signer, with OpenSSL: update-kit stage --sign makes the first with the
// certificate and key that sign updater.exe, and update-kit check requires
// the two signers to be one certificate, as the signed updater does.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace updater::kit {

// The DER of a detached CMS signature (SignedData, no signed attributes, the
// signer's certificate included) of `content` by the PKCS#12 file's
// certificate and key. Throws std::runtime_error when that cannot be done.
std::string SignDetached(const std::string& content, const std::filesystem::path& p12, const std::string& password);

// The signer certificate (DER) of a detached CMS signature when it holds
// for `content` (no chain is built: the caller compares certificates);
// nothing otherwise.
std::optional<std::string> DetachedSigner(const std::string& content, const std::string& signature);

// What stage and check say of a signature without a time stamp.
inline constexpr char kNoTimeStamp[] =
    "signed without a time stamp: Windows stops trusting the signature when the certificate expires";

// What a PE file's embedded Authenticode signature says of its signer.
struct AuthenticodeSigner {
    bool present = false;     // the file has a certificate table
    std::string certificate;  // the signer's certificate (DER); "" when it cannot be read
    // The signer carries a time-stamp countersignature (RFC 3161, or the older
    // Authenticode form) among its unsigned attributes. Present, not verified.
    bool timeStamped = false;
};
AuthenticodeSigner ReadAuthenticodeSigner(const std::string& pe);

}  // namespace updater::kit
