#include "update/payload.h"

#include "platform/command_line.h"
#include "platform/platform.h"
#include "update/text.h"

namespace updater {

namespace {

// A drive's root folder already ends in "\": never double the separator.
std::string JoinPath(const std::string& folder, const std::string& name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path.append(folder);
    if (!EndsWithBackslash(folder)) path.push_back('\\');
    return path.append(name);
}

bool IsSkipped(const std::string& name, const std::string& updaterName) {
    return name == "." || name == ".." || name == updaterName;
}

void ListInto(std::vector<std::string>& result, ListMode mode, const std::string& folder,
              const std::string& updaterName) {
    for (const FoundEntry& entry : FindEntries(JoinPath(folder, "*.*"), kAnyFileMask)) {
        if (IsSkipped(entry.name, updaterName)) continue;
        const std::string path = JoinPath(folder, entry.name);
        // Read afresh: the search's own attributes may be stale by now.
        const std::int32_t attributes = GetAttributes(path);
        if (attributes == kInvalidAttributes) continue;
        const bool isFolder = (attributes & kAttributeFolder) != 0;
        if (mode == ListMode::FoldersOnly) {
            if (isFolder) result.push_back(path);
        } else if (isFolder) {
            ListInto(result, mode, path, updaterName);
        } else {
            result.push_back(path);
        }
    }
}

}  // namespace

std::vector<std::string> ListPayload(ListMode mode, const std::string& folder) {
    std::vector<std::string> result;
    ListInto(result, mode, folder, FileNameOfPath(GetExecutablePath()));
    return result;
}

}  // namespace updater
