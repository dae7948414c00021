#include "update/copy_engine.h"

#include <optional>

#include "rules/path.h"
#include "rules/text.h"
#include "rules/texts.h"
#include "seam/copying.h"
#include "seam/files.h"
#include "seam/process.h"
#include "seam/version_info.h"
#include "update/payload.h"
#include "update/version_stamp.h"

namespace updater {

namespace {

// Writes the report as the log when it holds lines and the log's folder
// already exists as a real folder; the folder is never created.
void SaveCopyReport(const TextList& report, const CopyLog& log) {
    if (report.empty()) return;
    if (log.file) {
        const std::string folder = FolderOfPath(*log.file);
        SaveTextFile(FolderOfPath(folder), FileNameOfPath(folder), FileNameOfPath(*log.file), report);
        return;
    }
    // No documents folder is no log folder: never a path from the drive's root.
    const std::optional<std::string> documents = GetSpecialFolder(SpecialFolder::kDocuments);
    if (!documents) return;
    SaveTextFile(*documents, log.folderName, log.fileName, report);
}

// A payload file and its destination as Windows resolves them.
struct ResolvedCopy {
    std::string file;
    std::string dest;
};

// The two roots a copy must stay below, as Windows resolves them.
struct CopyBounds {
    std::string source;  // full paths ending in "\"; "" when a root cannot be resolved
    std::string target;

    // Both paths resolved, when each lies below its root; a path that
    // cannot be resolved lies nowhere.
    std::optional<ResolvedCopy> Enclose(const std::string& file, const std::string& dest) const {
        std::optional<std::string> fullFile = FullPathName(file);
        std::optional<std::string> fullDest = FullPathName(dest);
        if (!fullFile || !fullDest || !LiesBelow(*fullFile, source) || !LiesBelow(*fullDest, target))
            return std::nullopt;
        return ResolvedCopy{std::move(*fullFile), std::move(*fullDest)};
    }
};

std::string RefusalLine(const PayloadTrust& trust) {
    return FormatText(texts::kCopyFailedLine, {kUnknownStamp, trust.refusedPath()});
}

CopyBounds BoundsOf(const std::string& sourceRoot, const std::string& targetRoot) {
    return {FullPathName(JoinPath(sourceRoot, "")).value_or(""), FullPathName(JoinPath(targetRoot, "")).value_or("")};
}

// One copy of the payload: where it may read and write, what it reports,
// and who is told its decisions.
struct Copier {
    CopyBounds bounds;
    CopySession& session;
    TextList& report;
    CopyObserver* observer;

    void Tell(FileOutcome outcome, const std::string& file, const std::string& dest,
              const std::optional<std::string>& oldStamp, const std::optional<std::string>& newStamp) const {
        if (observer != nullptr) observer->FileDecided({outcome, file, dest, oldStamp, newStamp});
    }
};

// Copies or leaves one file; false when its copy failed. The installed copy's
// stamp is read first (a missing copy reads as unknown): only against a known
// one does the new file's stamp decide anything, so otherwise it is read just
// for a failure line. Version reads cost about as much as a copy on some
// systems.
bool UpdateFile(const std::string& file, const std::string& dest, const Copier& copier) {
    // Never read or written outside the two roots, whatever the names said:
    // failed like a copy, without a version read of a file out there. The
    // copy is given the paths as resolved here, and resolves none again.
    const std::optional<ResolvedCopy> resolved = copier.bounds.Enclose(file, dest);
    if (!resolved) {
        copier.report.push_back(FormatText(texts::kCopyFailedLine, {kUnknownStamp, dest}));
        copier.Tell(FileOutcome::kFailed, file, dest, std::nullopt, std::nullopt);
        return false;
    }
    const std::string oldStamp = ReadVersionStamp(dest).text;
    std::optional<std::string> newStamp;
    const auto readNewStamp = [&]() -> const std::string& {
        if (!newStamp) newStamp = ReadVersionStamp(file).text;
        return *newStamp;
    };
    if (oldStamp != kUnknownStamp && !ShouldCopy(readNewStamp(), oldStamp)) {
        copier.report.push_back(
            FormatText(texts::kLeftAloneLine, {StampForLog(readNewStamp()), StampForLog(oldStamp), dest}));
        copier.Tell(FileOutcome::kLeftAlone, file, dest, oldStamp, newStamp);
        return true;
    }
    if (!CopyFileOver(copier.session, resolved->file, resolved->dest)) {
        copier.report.push_back(FormatText(texts::kCopyFailedLine, {StampForLog(readNewStamp()), dest}));
        copier.Tell(FileOutcome::kFailed, file, dest, oldStamp, newStamp);
        return false;
    }
    copier.Tell(FileOutcome::kCopied, file, dest, oldStamp, newStamp);
    return true;
}

// Copies the payload as the walk finds it now. Stops at the first failure;
// a folder's files are listed whole before the first of them is copied, so
// nothing of a folder that cannot be listed is. A folder that could not be
// listed is reported like a failed copy, with no version and the folder's
// path ending in "\".
bool CopyListed(const std::string& sourceRoot, const std::string& targetRoot, const std::string& updaterName,
                const Copier& copier) {
    const PayloadWalk walk = WalkPayload(sourceRoot, updaterName, [&](const std::string& file) {
        return UpdateFile(file, DestinationPath(file, sourceRoot, targetRoot), copier);
    }, &copier.session);
    if (!walk.unreadableFolder.empty()) {
        copier.report.push_back(
            FormatText(texts::kCopyFailedLine, {kUnknownStamp, JoinPath(walk.unreadableFolder, "")}));
        if (copier.observer != nullptr) copier.observer->FolderUnreadable(walk.unreadableFolder);
    }
    return walk.whole();
}

// Copies exactly the files a signed updater verified, each held since its
// check: a file that appeared later is never seen, and one that cannot be
// copied is a failure naming it.
bool CopyVerified(const std::string& sourceRoot, const std::string& targetRoot, const PayloadTrust& trust,
                  const Copier& copier) {
    for (const std::string& file : trust.verifiedFiles()) {
        if (!UpdateFile(file, DestinationPath(file, sourceRoot, targetRoot), copier)) return false;
    }
    return true;
}

bool CopyAll(CopySession& session, const std::string& updaterName, const PayloadTrust& trust, TextList& report,
             CopyObserver* observer) {
    if (trust.Refused()) {
        report.push_back(RefusalLine(trust));
        return false;
    }
    const std::string& sourceRoot = session.roots().source;
    const std::string& targetRoot = session.roots().target;
    const Copier copier{BoundsOf(sourceRoot, targetRoot), session, report, observer};
    return trust.Signed() ? CopyVerified(sourceRoot, targetRoot, trust, copier)
                          : CopyListed(sourceRoot, targetRoot, updaterName, copier);
}

}  // namespace

void ReportRefusedPayload(const PayloadTrust& trust, const CopyLog& log) { SaveCopyReport({RefusalLine(trust)}, log); }

bool CopyPayload(CopySession& session, const std::string& updaterName, const CopyLog& log,
                 const PayloadTrust& trust, CopyObserver* observer) {
    PrepareVersionReading();  // without it every installed copy would count as older
    TextList report;
    bool ok = false;
    try {
        ok = CopyAll(session, updaterName, trust, report, observer);
    } catch (...) {
        // The report of what happened before the error is kept; the error
        // itself is what goes on, even if the log cannot be written.
        try {
            SaveCopyReport(report, log);
        } catch (...) {
        }
        throw;
    }
    SaveCopyReport(report, log);
    return ok;
}

}  // namespace updater
