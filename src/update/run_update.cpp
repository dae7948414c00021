#include "update/run_update.h"

#include "rules/path.h"
#include "rules/text.h"
#include "rules/texts.h"
#include "rules/version_key.h"
#include "seam/ansi_text.h"
#include "seam/copying.h"
#include "seam/files.h"
#include "seam/message_box.h"
#include "seam/process.h"
#include "seam/progress_window.h"
#include "seam/update_lock.h"
#include "update/copy_engine.h"
#include "update/installed_product.h"
#include "update/payload_trust.h"

namespace updater {

namespace {

// What one run was asked for, once the arguments have been checked.
struct Run {
    const UpdateRequest& request;
    const ProductProfile& profile;
    int editionIndex;
    CopyLog log;
    CopyObserver* observer;

    bool quiet() const { return request.quiet; }
    // A quiet run shows nothing: its outcome is its exit code.
    void Tell(DialogKind kind, const std::string& text) const {
        if (!quiet()) ShowMessageBox(kind, text);
    }
};

// The box a run that reached its copy phase ends with.
void ShowFinalMessage(const Run& run, RunOutcome outcome) {
    if (outcome == RunOutcome::kSucceeded) run.Tell(DialogKind::kInformation, texts::kInstallSucceeded);
    if (outcome == RunOutcome::kCopyFailed) run.Tell(DialogKind::kError, texts::kCopyFailed);
}

// Ends every run that got past the argument check.
// A current folder that could not be read at the start is not restored.
void RunClosingSequence(const std::optional<std::string>& savedFolder) {
    ProcessPendingMessages();
    if (savedFolder) SetCurrentFolder(*savedFolder);
}

// A folder that cannot be determined is one that cannot be moved to.
bool MoveTo(SpecialFolder folder) {
    const std::optional<std::string> path = GetSpecialFolder(folder);
    return path && SetCurrentFolder(*path);
}

void MoveToDocumentsFolder() {
    if (!MoveTo(SpecialFolder::kDocuments)) MoveTo(SpecialFolder::kApplicationData);
}

// The "please wait" window, shown with the package's name; hidden when the
// name is empty, and never made in a quiet run.
ProgressWindow ShowProgress(const Run& run) {
    if (run.quiet()) return nullptr;
    ProgressWindow window = CreateProgressWindow();
    const std::string& displayName = run.request.packageName;
    if (!displayName.empty()) {
        SetProgressText(window, FormatText(texts::kCopyingPleaseWait, {displayName}));
        ShowProgressWindow(window);
        ProcessPendingMessages();
    }
    return window;
}

// Takes the machine's update lock. An interactive run that finds it taken
// shows its progress window into `window` and waits for the other run to end;
// a quiet one does not wait.
LockAttempt TakeLock(const Run& run, UpdateLock& lock, ProgressWindow& window) {
    const LockAttempt attempt = TryTakeUpdateLock(lock);
    if (attempt != LockAttempt::kBusy || run.quiet()) return attempt;
    window = ShowProgress(run);
    return WaitForUpdateLock(lock);
}

// Holds the update lock, checks a signed payload, shows the progress window
// and copies. The lock goes as soon as the copy has ended, before any box.
RunOutcome CopyUnderLock(const Run& run, const std::string& targetRoot) {
    ProgressWindow window;
    UpdateLock lock;
    const LockAttempt attempt = TakeLock(run, lock, window);
    if (attempt == LockAttempt::kBusy) return RunOutcome::kAnotherRunBusy;
    if (attempt == LockAttempt::kFailed) return RunOutcome::kCopyFailed;

    const UpdateFolder update = ThisUpdateFolder();
    // A signed updater checks its payload first: a refusal shows no progress
    // window (unless it waited for another run). What the check holds, the
    // copy uses: one session for both.
    CopySession session = BeginCopies({update.root, targetRoot}, run.quiet());
    const PayloadTrust trust = CheckPayloadTrust(update, run.profile, run.request.versionCode, session);
    if (trust.Refused()) {
        ReportRefusedPayload(trust, run.log);
        return RunOutcome::kCopyFailed;
    }
    if (!window) window = ShowProgress(run);
    // Should the copy raise an error, `window` is destroyed on the way out.
    const bool ok = CopyPayload(session, update.updaterName, run.log, trust, run.observer);
    return ok ? RunOutcome::kSucceeded : RunOutcome::kCopyFailed;
}

// The copy phase: the copy under the lock, then the final box once the lock
// and the window are gone.
RunOutcome RunCopyPhase(const Run& run, const std::string& targetRoot) {
    const RunOutcome outcome = CopyUnderLock(run, targetRoot);
    ShowFinalMessage(run, outcome);
    return outcome;
}

// The gates and the copy phase.
RunOutcome CheckAndCopy(const Run& run) {
    MoveToDocumentsFolder();
    const InstalledProduct product = LookupInstalledProduct(run.profile, run.editionIndex);
    if (product.targetRoot.empty()) {
        const std::string edition = EditionDisplayName(kEditionTable[run.editionIndex].editionCode);
        run.Tell(DialogKind::kWarning, FormatText(run.profile.notInstalledFormat, {edition}));
        return RunOutcome::kNotInstalled;
    }
    if (CompareVersionTexts(product.installedVersion, run.request.versionCode) > 0) {
        run.Tell(DialogKind::kError, FormatText(texts::kNewerVersionInstalled, {product.installedVersion}));
        return RunOutcome::kNewerInstalled;
    }
    return RunCopyPhase(run, product.targetRoot);
}

// Where /LOG= puts the copy log: its full path, resolved against the folder
// the run started in. Nothing when it names no file in a folder (a drive's
// root has no folder to check for links).
std::optional<std::string> LogFilePath(const std::string& typed) {
    const std::optional<std::string> full = FullPathName(typed);
    if (!full || EndsWithBackslash(*full) || EndsWithBackslash(FolderOfPath(*full))) return std::nullopt;
    return full;
}

}  // namespace

RunOutcome RunUpdate(const UpdateRequest& request, CopyObserver* observer) {
    const std::string& switchArgument = request.switchArgument;
    const ProductProfile* profile = SelectProfile(UpperCaseAnsi(switchArgument));
    // A quiet run refuses what it was not made for; an interactive one
    // ignores words after its three arguments that it does not know.
    if (profile == nullptr || (request.quiet && request.badOption)) return RunOutcome::kBadArguments;

    Run run{request, *profile, EditionOfVersionCode(request.versionCode), *profile, observer};
    if (request.logFile) {
        run.log.file = LogFilePath(*request.logFile);
        if (!run.log.file && request.quiet) return RunOutcome::kBadArguments;
    }
    const std::optional<std::string> savedFolder = GetCurrentFolder();
    if (run.editionIndex < 0) {
        run.Tell(DialogKind::kWarning,
                 FormatText(texts::kCheckParameters, {switchArgument, request.versionCode, request.packageName}));
        return RunOutcome::kBadArguments;
    }

    RunOutcome outcome;
    try {
        outcome = CheckAndCopy(run);
    } catch (...) {
        RunClosingSequence(savedFolder);  // no final message has been reached
        throw;
    }
    RunClosingSequence(savedFolder);
    return outcome;
}

}  // namespace updater
