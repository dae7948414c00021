// Copies the payload into the product's folder and keeps the copy report.
#pragma once

#include <optional>
#include <string>

#include "rules/copy_rules.h"
#include "rules/product.h"
#include "seam/copying.h"
#include "update/payload_trust.h"

namespace updater {

// What the copy did with one payload file.
enum class FileOutcome { kCopied, kLeftAlone, kFailed };

// One file's decision as the copy made it; it refers to the copy's own
// texts and holds only for the call it is passed to.
struct FileDecision {
    FileOutcome outcome;
    const std::string& source;
    const std::string& destination;
    // The version texts read for the decision, nothing where none was: the
    // new file's is read only when the installed copy's is known or for a
    // failure line, and neither is read for a path outside the two roots.
    // An installed copy that is missing reads as kUnknownStamp.
    const std::optional<std::string>& installedStamp;
    const std::optional<std::string>& newStamp;
};

// Told what the copy does, as it does it (a preview's record of the run).
class CopyObserver {
public:
    // Once for each payload file the copy reaches, once it is copied,
    // left alone or failed.
    virtual void FileDecided(const FileDecision& decision) = 0;
    // The folder that could not be listed whole, where the copy stopped.
    virtual void FolderUnreadable(const std::string& folder) = 0;

protected:
    ~CopyObserver() = default;
};

// Where the copy report is saved: the file `fileName` in the folder
// `folderName` directly under the user's documents folder (the profile's
// log), or the file `file` names, a full path, when it is given. Either way
// only into a folder that exists and is no link, and never through a link.
struct CopyLog {
    CopyLog(const ProductProfile& profile)  // NOLINT: the profile's log is the usual one
        : folderName(profile.logFolderName), fileName(profile.logFileName) {}
    std::string folderName;
    std::string fileName;
    std::optional<std::string> file;
};

// Copies every payload file below the session's source root to its target
// root, leaving alone installed copies that are newer and stopping at the
// first failed copy or the first folder that cannot be listed; the payload
// walk passes over the updater's own name `updaterName`. The report of files left alone and
// of the failure goes to `log`. True when nothing failed. Raises
// before copying anything when version texts cannot be read. A refused
// `trust` copies nothing and reports the file it names; a signed one's
// copies exactly the files it verified, in their listed order. Every copy
// goes through the run's copy `session`. `observer`, when given, is told
// each file's decision and the folder that could not be listed.
bool CopyPayload(CopySession& session, const std::string& updaterName, const CopyLog& log,
                 const PayloadTrust& trust, CopyObserver* observer = nullptr);

// The copy report of a refused `trust`, which copies nothing: the one
// failure line naming the file it refused, saved to `log`.
void ReportRefusedPayload(const PayloadTrust& trust, const CopyLog& log);

}  // namespace updater
