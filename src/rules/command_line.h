// The argument rule of the Windows command line. Portable, so the Windows
// build and the in-memory stand-in split arguments exactly alike.
#pragma once

#include <string>

namespace updater {

// The n-th argument of `commandLine`; argument 0 is the program name.
// Runs of bytes 1..32 separate arguments; after such a run an empty quote pair
// is skipped too; a '"' opens a stretch that runs to the next '"' (or the end)
// and the quotes are removed; there is no escape character. The scan steps
// over double-byte characters whole.
std::string ArgumentFromCommandLine(const std::string& commandLine, int n);

// What the updater is asked to do, as its command line gives it: the
// product switch, the update's version code and the package's display
// name, each exactly as typed (the parameter message shows them so).
struct UpdateRequest {
    std::string switchArgument;
    std::string versionCode;
    std::string packageName;
};

// Arguments 1, 2 and 3 of `commandLine`; a missing one is "".
UpdateRequest ReadUpdateRequest(const std::string& commandLine);

}  // namespace updater
