#include "rules/copy_rules.h"

#include "rules/path.h"
#include "rules/text.h"
#include "rules/version_key.h"

namespace updater {

std::string DestinationPath(const std::string& file, const std::string& sourceRoot,
                            const std::string& targetRoot) {
    if (sourceRoot.empty() || FindText(file, sourceRoot) != 0) return ReplaceAll(file, sourceRoot, targetRoot);
    std::string below = file.substr(sourceRoot.size());
    // `below` starts on a character boundary, so its leading "\" bytes are separators.
    below.erase(0, below.find_first_not_of('\\'));
    if (FindText(below, sourceRoot) != std::string::npos) below = ReplaceAll(below, sourceRoot, targetRoot);
    std::string dest = WithoutTrailingSeparators(targetRoot);
    dest.reserve(dest.size() + 1 + below.size());
    return dest.append(1, '\\').append(below);
}

bool ShouldCopy(const std::string& newStamp, const std::string& oldStamp) {
    if (newStamp == kUnknownStamp || oldStamp == kUnknownStamp) return true;
    return !(MakeVersionKey(newStamp) < MakeVersionKey(oldStamp));
}

std::string StampForLog(const std::string& stamp) {
    std::string shown = stamp;
    // Trail bytes of double-byte characters are 0x40 or above: never touched.
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    return shown;
}

}  // namespace updater
