// The signed updater's trust check: a signed updater copies only the files
// its signer staged.
//
// An update is a folder, and Authenticode covers updater.exe alone: anyone
// can put files beside a genuinely signed updater. So when the running
// updater carries a signature of its own, the payload must match
// update-manifest.json beside it, whose detached signature
// (update-manifest.json.p7s) must be made by the very certificate that
// signed the updater. The manifest also binds the update to one product
// line and version, so that a signed update cannot be run as another
// product's or another release's. An unsigned updater reads no manifest at all.
#pragma once

#include <string>
#include <vector>

#include "rules/product.h"
#include "seam/copying.h"
#include "update/payload.h"

namespace updater {

class PayloadTrust {
public:
    // An unsigned updater's: nothing refused, nothing checked before a copy.
    PayloadTrust() = default;

    bool Refused() const { return !refusedPath_.empty(); }
    // The first file that failed the check, or the manifest when its
    // signature or text did not hold; "" when nothing was refused.
    const std::string& refusedPath() const { return refusedPath_; }

    // A signed updater copies exactly the files it verified, no others.
    bool Signed() const { return signed_; }

    // A signed updater's files, in the order the payload listing gave them,
    // each held by the copy session since its check (no one can write,
    // rename or delete it), so that what is copied is what was hashed.
    const std::vector<std::string>& verifiedFiles() const { return verified_; }

private:
    friend PayloadTrust CheckPayloadTrust(const UpdateFolder& update, const ProductProfile& profile,
                                          const std::string& versionCode, CopySession& session);

    bool signed_ = false;
    std::string refusedPath_;
    std::vector<std::string> verified_;
};

// Runs the check for the update's folder `update` (the updater's own) and
// the run's product line and version code: nothing for an unsigned updater;
// else the updater's signer, the manifest's signature and signer, that the
// manifest names this product line and the same version (SameVersionCode),
// and then every payload file (listed as the copy lists them) against the
// manifest, and every manifest entry against the payload. Stops at the
// first failure. Each payload file is held through `session` (its folders
// with it) and hashed once, through the handle it stays held by.
PayloadTrust CheckPayloadTrust(const UpdateFolder& update, const ProductProfile& profile,
                               const std::string& versionCode, CopySession& session);

}  // namespace updater
