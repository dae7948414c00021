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
#include "update/run_update.h"
#include "update/version_stamp.h"

namespace updater::kit {

namespace {

using preview::PreviewWorld;

PreviewAction CopyReason(const PreviewEntry& entry) {
    if (!entry.installedStamp) return PreviewAction::kCopyNewFile;
    if (*entry.installedStamp == kUnknownStamp) return PreviewAction::kCopyInstalledWithoutVersion;
    if (entry.newStamp == kUnknownStamp) return PreviewAction::kCopyNewWithoutVersion;
    if (MakeVersionKey(entry.newStamp) == MakeVersionKey(*entry.installedStamp))
        return PreviewAction::kCopyInstalledEqual;
    return PreviewAction::kCopyInstalledOlder;
}

// The preview's entries, one for each file the run reaches, as the run
// decides it: every decision is the run's, the stamps are the ones it read,
// and a stamp it did not need is read here for display.
class EntryRecorder final : public CopyObserver {
public:
    EntryRecorder(const PreviewWorld& world, Preview& result)
        : world_(world), result_(result), prefix_(JoinPath(result.sourceRoot, "")) {}

    void FileDecided(const FileDecision& decision) override {
        const std::string& file = decision.source;
        const std::string& dest = decision.destination;
        PreviewEntry entry{PreviewAction::kLeaveAlone,
                           file.compare(0, prefix_.size(), prefix_) == 0 ? file.substr(prefix_.size()) : file,
                           decision.newStamp ? *decision.newStamp : ReadVersionStamp(file).text, std::nullopt};
        // Whether there is an installed copy: the product folder as it was,
        // before the copies this run recorded.
        if (world_.WasFile(dest))
            entry.installedStamp = decision.installedStamp ? *decision.installedStamp : ReadVersionStamp(dest).text;
        switch (decision.outcome) {
            case FileOutcome::kCopied: entry.action = CopyReason(entry); break;
            case FileOutcome::kLeftAlone: entry.action = PreviewAction::kLeaveAlone; break;
            case FileOutcome::kFailed: entry.action = PreviewAction::kCopyFails; break;
        }
        result_.entries.push_back(std::move(entry));
    }

    void FolderUnreadable(const std::string& folder) override { result_.unreadableFolder = folder; }

private:
    const PreviewWorld& world_;
    Preview& result_;
    const std::string prefix_;
};

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
    setup.productKey = FormatText(options.profile->keyFormat, {kEditionTable[0].registrySuffix});
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

    EntryRecorder recorder(world, result);
    RunUpdate({options.profile->switchText, kEditionTable[0].versionCode, "preview"}, &recorder);

    if (world.boxes().empty()) throw std::logic_error("the run ended without its final box");
    const preview::RecordedBox& box = world.boxes().back();
    result.succeeds = box.kind == DialogKind::kInformation;
    result.endBoxText = box.text;
    if (!world.savedFiles().empty()) result.report = world.savedFiles().back().Bytes();
    return result;
}

}  // namespace updater::kit
