// Copies the payload into the product's folder and keeps the copy report.
#pragma once

#include <string>

#include "rules/copy_rules.h"
#include "rules/product.h"
#include "seam/copying.h"
#include "update/payload_trust.h"

namespace updater {

// Copies every payload file below `sourceRoot` to `targetRoot`, leaving alone
// installed copies that are newer and stopping at the first failed copy or
// the first folder that cannot be listed. The report of files left alone and
// of the failure goes to the profile's log. True when nothing failed. Raises
// before copying anything when version texts cannot be read. A refused
// `trust` copies nothing and reports the file it names; a signed one's
// copies exactly the files it verified, in their listed order. Every copy
// goes through the run's copy `session`.
bool CopyPayload(const std::string& sourceRoot, const std::string& targetRoot, const ProductProfile& profile,
                 const PayloadTrust& trust, CopySession& session);

// An unsigned updater's copy, in a copy session of its own.
bool CopyPayload(const std::string& sourceRoot, const std::string& targetRoot, const ProductProfile& profile);

}  // namespace updater
