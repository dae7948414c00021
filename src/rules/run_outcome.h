// How an update run ended, and the exit code that says so.
#pragma once

namespace updater {

enum class RunOutcome {
    kSucceeded,       // every payload file copied or left alone
    kCopyFailed,      // a copy failed, or the update was refused before copying
    kNotInstalled,    // the product is not installed
    kNewerInstalled,  // a newer version is installed
    kBadArguments,    // an unrecognised switch or option, or a version code not in the table
    kAnotherRunBusy,  // another update run holds the machine's update lock
    kUnexpectedError, // an error reached the top-level handler
};

// The process's exit code. A quiet run answers deployment tools in the
// codes they know from Windows Installer; an interactive run, whose user
// has read the boxes, ends with 0 after every orderly end and 1 after the
// application error box.
int ExitCodeOf(RunOutcome outcome, bool quiet);

}  // namespace updater
