// The copy's pure rules: where a payload file goes, whether it replaces the
// installed copy, and how a stamp is shown in the log. Nothing here touches
// the system.
#pragma once

#include <string>

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

}  // namespace updater
