// update-kit preview: what the updater would do with a staged update against
// an installed product folder, file by file, and the copy report it would
// write. The updater's own run (RunUpdate) does the work over the preview
// seam (platform/preview), whose copies are only recorded. The printed
// preview: preview_output.h.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "kit/commands.h"
#include "rules/product.h"

namespace updater::kit {

// The Windows folders the two Linux folders stand for, unless told otherwise:
// this one and kDefaultTargetRoot (commands.h).
inline constexpr char kDefaultSourceRoot[] = "C:\\update";

enum class PreviewAction {
    kCopyNewFile,                    // no installed copy
    kCopyInstalledOlder,
    kCopyInstalledEqual,
    kCopyInstalledWithoutVersion,
    kCopyNewWithoutVersion,
    kLeaveAlone,                     // the installed copy is newer
    kCopyFails,                      // a folder on its way into the product is a link: the run stops
};

std::string_view ActionText(PreviewAction action);

struct PreviewEntry {
    PreviewAction action;
    std::string relativePath;  // below the staged folder, code page 932, "\" between names
    std::string newStamp;      // the version texts the updater reads (0.0.0.0: none)
    std::optional<std::string> installedStamp;  // nothing when there is no installed copy
};

struct PreviewOptions {
    std::filesystem::path staged;     // the folder updater.exe would lie in
    std::filesystem::path installed;  // the installed product's folder
    std::string sourceRoot = kDefaultSourceRoot;  // Windows, code page 932
    std::string targetRoot = kDefaultTargetRoot;  // RootDir as registered, code page 932
    const ProductProfile* profile = &kProductProfiles[0];
    // Called with the count of entries listed so far, after each folder.
    std::function<void(std::size_t)> progress;
};

struct Preview {
    std::string sourceRoot;  // as the updater works with them (Windows)
    std::string targetRoot;
    std::vector<PreviewEntry> entries;         // in the order the updater takes them
    std::string unreadableFolder;              // the folder that cannot be listed (Windows), if any
    bool succeeds = true;                      // false: the run ends with the copy-failed box
    std::string endBoxText;                    // the final box's text, code page 932
    std::optional<std::string> report;         // the log file's bytes; nothing when none is written
    std::string logName;                       // Documents\<folder>\<file>
};

// A preview that cannot be made (the target root names no folder).
class PreviewError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

Preview MakePreview(const PreviewOptions& options);

// False for a Windows root that is empty or nothing but separators: it
// names no folder.
bool NamesAFolder(const std::string& windowsRoot);

}  // namespace updater::kit
