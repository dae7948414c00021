#include "kit/preview/preview.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "kit/commands.h"
#include "kit/preview/preview_world.h"
#include "rules/cp932.h"
#include "rules/path.h"
#include "rules/text.h"
#include "rules/texts.h"
#include "seam/files.h"
#include "seam/message_box.h"
#include "seam/process.h"
#include "update/copy_engine.h"
#include "update/installed_product.h"
#include "update/payload.h"
#include "update/run_update.h"
#include "update/version_stamp.h"

namespace updater::kit {

namespace {

using preview::PreviewWorld;

// What a payload file is, before the run: the version texts the updater
// reads and whether there is an installed copy.
struct PayloadFile {
    std::string path;
    std::string newStamp;
    std::optional<std::string> installedStamp;
};

// The payload's files in the order the updater takes them, each with the
// stamps the updater reads, named by the updater's own listing. Stops where
// the run stops: at a folder that cannot be listed, none of whose files is
// taken.
std::vector<PayloadFile> ListTakenFiles(const std::string& sourceRoot, const std::string& targetRoot,
                                        std::string& unreadableFolder) {
    std::vector<PayloadFile> files;
    const PayloadListing folders = ListPayload(ListMode::FoldersOnly, sourceRoot);
    if (!folders.ok()) {
        unreadableFolder = folders.unreadableFolder;
        return files;
    }
    for (const std::string& folder : folders.paths) {
        const PayloadListing listing = ListPayload(ListMode::FilesDeep, folder, {folders.identity});
        if (!listing.ok()) {
            unreadableFolder = listing.unreadableFolder;
            return files;
        }
        for (const std::string& file : listing.paths) {
            const std::string dest = DestinationPath(file, sourceRoot, targetRoot);
            std::optional<std::string> installed;
            if (FileExists(dest)) installed = ReadVersionStamp(dest).text;
            files.push_back({file, ReadVersionStamp(file).text, std::move(installed)});
        }
    }
    return files;
}

PreviewAction CopyReason(const PayloadFile& file) {
    if (!file.installedStamp) return PreviewAction::kCopyNewFile;
    if (*file.installedStamp == kUnknownStamp) return PreviewAction::kCopyInstalledWithoutVersion;
    if (file.newStamp == kUnknownStamp) return PreviewAction::kCopyNewWithoutVersion;
    if (MakeVersionKey(file.newStamp) == MakeVersionKey(*file.installedStamp)) return PreviewAction::kCopyInstalledEqual;
    return PreviewAction::kCopyInstalledOlder;
}

}  // namespace

std::string_view ActionText(PreviewAction action) {
    switch (action) {
        case PreviewAction::kCopyNewFile: return "copy (new file)";
        case PreviewAction::kCopyInstalledOlder: return "copy (installed copy older)";
        case PreviewAction::kCopyInstalledEqual: return "copy (installed copy equal)";
        case PreviewAction::kCopyInstalledWithoutVersion: return "copy (installed copy without a version)";
        case PreviewAction::kCopyNewWithoutVersion: return "copy (new file without a version)";
        case PreviewAction::kLeaveAlone: return "leave alone (installed copy newer)";
        case PreviewAction::kCopyFails: return "fail (a folder on its way is a link)";
    }
    return "?";
}

bool NamesAFolder(const std::string& windowsRoot) { return !WithoutTrailingSeparators(windowsRoot).empty(); }

Preview MakePreview(const PreviewOptions& options) {
    preview::PreviewSetup setup;
    // One updater.exe in the source root: a drive's root keeps its "\".
    setup.sourceRoot = WithoutTrailingSeparators(options.sourceRoot);
    if (!setup.sourceRoot.empty() && setup.sourceRoot.back() == ':') setup.sourceRoot += '\\';
    setup.stagedFolder = options.staged;
    setup.rootDir = options.targetRoot;
    setup.installedFolder = options.installed;
    setup.logFolder = options.profile->logFolderName;
    // The first edition of the product, and a version code that passes the
    // version gate (the registry holds no installed version).
    PreviewWorld world(std::move(setup), options.progress);

    Preview result;
    // The roots exactly as the run takes them.
    result.sourceRoot = FolderOfPath(GetExecutablePath());
    result.targetRoot = LookupInstalledProduct(*options.profile, 0).targetRoot;
    if (result.targetRoot.empty()) throw PreviewError("the target root names no folder");
    result.logName = std::string("Documents\\") + options.profile->logFolderName + "\\" + options.profile->logFileName;

    const std::vector<PayloadFile> files = ListTakenFiles(result.sourceRoot, result.targetRoot, result.unreadableFolder);

    RunUpdate({options.profile->switchText, kEditionTable[0].versionCode, "preview"});

    // Every decision is the run's: a file it copied is copied, a file it
    // reached and did not copy was left alone.
    const std::vector<preview::RecordedCopy>& copies = world.copies();
    std::size_t next = 0;
    const std::string prefix = JoinPath(result.sourceRoot, "");
    for (const PayloadFile& file : files) {
        const std::string dest = DestinationPath(file.path, result.sourceRoot, result.targetRoot);
        const bool reached =
            next < copies.size() && copies[next].source == file.path && copies[next].destination == dest;
        const bool fails = reached && !copies[next].done;
        if (reached) ++next;
        PreviewEntry entry{fails ? PreviewAction::kCopyFails : reached ? CopyReason(file) : PreviewAction::kLeaveAlone,
                           file.path.compare(0, prefix.size(), prefix) == 0 ? file.path.substr(prefix.size())
                                                                             : file.path,
                           file.newStamp, file.installedStamp};
        result.entries.push_back(std::move(entry));
        if (fails) break;  // the run stops at its first failed copy
    }
    if (next != copies.size()) throw std::logic_error("the run copied files the preview did not list in that order");

    if (world.boxes().empty()) throw std::logic_error("the run ended without its final box");
    const preview::RecordedBox& box = world.boxes().back();
    result.succeeds = box.kind == DialogKind::Information;
    result.endBoxText = box.text;
    if (!world.savedFiles().empty()) result.report = world.savedFiles().back().Bytes();
    return result;
}

}  // namespace updater::kit
