#include "update/run_update.h"

#include "rules/path.h"
#include "rules/text.h"
#include "rules/texts.h"
#include "seam/ansi_text.h"
#include "seam/copying.h"
#include "seam/message_box.h"
#include "seam/process.h"
#include "seam/progress_window.h"
#include "update/copy_engine.h"
#include "update/installed_product.h"
#include "update/payload_trust.h"

namespace updater {

namespace {

struct FinalMessage {
    std::string text;  // empty: nothing to show
    DialogKind kind = DialogKind::Information;
};

// Ends every run that got past the argument check.
// A current folder that could not be read at the start is not restored.
void RunClosingSequence(const FinalMessage& final, const std::optional<std::string>& savedFolder) {
    if (!final.text.empty()) ShowMessageBox(final.kind, final.text);
    ProcessPendingMessages();
    if (savedFolder) SetCurrentFolder(*savedFolder);
}

// A folder that cannot be determined is one that cannot be moved to.
bool MoveTo(SpecialFolder folder) {
    const std::optional<std::string> path = GetSpecialFolder(folder);
    return path && SetCurrentFolder(*path);
}

void MoveToDocumentsFolder() {
    if (!MoveTo(SpecialFolder::Documents)) MoveTo(SpecialFolder::ApplicationData);
}

// Shows the progress window, copies the payload, and says how it went.
FinalMessage RunCopyPhase(const std::string& displayName, const std::string& targetRoot,
                          const ProductProfile& profile, const std::string& versionArgument,
                          CopyObserver* observer) {
    const std::string sourceRoot = FolderOfPath(GetExecutablePath());
    // A signed updater checks its payload first: a refusal shows no progress window.
    // What the check holds, the copy uses: one session for both.
    CopySession session = BeginCopies({sourceRoot, targetRoot});
    const PayloadTrust trust = CheckPayloadTrust(sourceRoot, profile, versionArgument, session);
    if (trust.Refused()) {
        CopyPayload(sourceRoot, targetRoot, profile, trust, session, observer);
        return {texts::kCopyFailed, DialogKind::Error};
    }
    ProgressWindow window = CreateProgressWindow();
    if (!displayName.empty()) {
        SetProgressText(window, FormatText(texts::kCopyingPleaseWait, {displayName}));
        ShowProgressWindow(window);
        ProcessPendingMessages();
    }
    // Should the copy raise an error, `window` is destroyed on the way out.
    const bool ok = CopyPayload(sourceRoot, targetRoot, profile, trust, session, observer);
    FinalMessage final = ok ? FinalMessage{texts::kInstallSucceeded, DialogKind::Information}
                            : FinalMessage{texts::kCopyFailed, DialogKind::Error};
    DestroyProgressWindow(window);
    return final;
}

// The gates and the copy phase; returns the message the run ends with.
FinalMessage CheckAndCopy(const ProductProfile& profile, int editionIndex,
                          const std::string& versionArgument, const std::string& displayName,
                          CopyObserver* observer) {
    MoveToDocumentsFolder();
    const InstalledProduct product = LookupInstalledProduct(profile, editionIndex);
    if (product.targetRoot.empty()) {
        const std::string edition = EditionDisplayName(kEditionTable[editionIndex].editionCode);
        ShowMessageBox(DialogKind::Warning, FormatText(profile.notInstalledFormat, {edition}));
        return {};
    }
    if (CompareVersionTexts(product.installedVersion, versionArgument) > 0) {
        ShowMessageBox(DialogKind::Error, FormatText(texts::kNewerVersionInstalled, {product.installedVersion}));
        return {};
    }
    return RunCopyPhase(displayName, product.targetRoot, profile, versionArgument, observer);
}

}  // namespace

void RunUpdate(const UpdateRequest& request, CopyObserver* observer) {
    const std::string& switchArgument = request.switchArgument;
    const ProductProfile* profile = SelectProfile(UpperCaseAnsi(switchArgument));
    if (profile == nullptr) return;

    const std::optional<std::string> savedFolder = GetCurrentFolder();
    const std::string& versionArgument = request.versionCode;
    const std::string& displayName = request.packageName;
    const int editionIndex = EditionOfVersionCode(versionArgument);
    if (editionIndex < 0) {
        ShowMessageBox(DialogKind::Warning,
                       FormatText(texts::kCheckParameters, {switchArgument, versionArgument, displayName}));
        return;
    }

    FinalMessage final;
    try {
        final = CheckAndCopy(*profile, editionIndex, versionArgument, displayName, observer);
    } catch (...) {
        RunClosingSequence({}, savedFolder);  // no final message has been reached
        throw;
    }
    RunClosingSequence(final, savedFolder);
}

}  // namespace updater
