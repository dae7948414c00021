// Copies the payload into the product's folder and keeps the copy report.
#pragma once

#include <string>

#include "update/payload_trust.h"
#include "update/product.h"
#include "update/version_stamp.h"

namespace updater {

// Where `file` (below `sourceRoot`) goes below `targetRoot`: exactly one "\"
// between the target root and the file's path below the source root, however
// many either side brings, and any further occurrence of the source root
// replaced as well.
std::string DestinationPath(const std::string& file, const std::string& sourceRoot,
                            const std::string& targetRoot);

// True when the new file replaces the installed copy: either stamp unknown, or
// the new key is not older than the installed one (an equal one is copied again).
bool ShouldCopy(const std::string& newStamp, const std::string& oldStamp);

// A stamp as the log shows it: control characters (a stored CR or LF among
// them) become blanks, so that one entry stays one line.
std::string StampForLog(const std::string& stamp);

// Copies every payload file below `sourceRoot` to `targetRoot`, leaving alone
// installed copies that are newer and stopping at the first failed copy or
// the first folder that cannot be listed. The report of files left alone and
// of the failure goes to the profile's log. True when nothing failed. Raises
// before copying anything when version texts cannot be read. A refused
// `trust` copies nothing and reports the file it names; otherwise each file
// is copied only when `trust` still finds it as verified.
bool CopyPayload(const std::string& sourceRoot, const std::string& targetRoot,
                 const ProductProfile& profile, const PayloadTrust& trust = PayloadTrust());

}  // namespace updater
