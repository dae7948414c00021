#include "rules/run_outcome.h"

namespace updater {

namespace {

// Windows Installer's codes (winerror.h), which deployment tools read.
constexpr int kSuccess = 0;
constexpr int kInvalidParameter = 87;            // ERROR_INVALID_PARAMETER
constexpr int kInstallFailure = 1603;            // ERROR_INSTALL_FAILURE
constexpr int kUnknownProduct = 1605;            // ERROR_UNKNOWN_PRODUCT
constexpr int kInstallAlreadyRunning = 1618;     // ERROR_INSTALL_ALREADY_RUNNING
constexpr int kProductVersion = 1638;            // ERROR_PRODUCT_VERSION
constexpr int kUnexpectedErrorCode = 1;

int QuietExitCode(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::kSucceeded:
        return kSuccess;
    case RunOutcome::kCopyFailed:
        return kInstallFailure;
    case RunOutcome::kNotInstalled:
        return kUnknownProduct;
    case RunOutcome::kNewerInstalled:
        return kProductVersion;
    case RunOutcome::kBadArguments:
        return kInvalidParameter;
    case RunOutcome::kAnotherRunBusy:
        return kInstallAlreadyRunning;
    case RunOutcome::kUnexpectedError:
        break;
    }
    return kUnexpectedErrorCode;
}

}  // namespace

int ExitCodeOf(RunOutcome outcome, bool quiet) {
    if (quiet) return QuietExitCode(outcome);
    return outcome == RunOutcome::kUnexpectedError ? kUnexpectedErrorCode : kSuccess;
}

}  // namespace updater
