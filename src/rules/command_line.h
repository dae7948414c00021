// The argument rule of the Windows command line. Portable, so the Windows
// build and the in-memory stand-in split arguments exactly alike.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace updater {

// The n-th argument of `commandLine`; argument 0 is the program name.
// Runs of bytes 1..32 separate arguments; after such a run an empty quote pair
// is skipped too; a '"' opens a stretch that runs to the next '"' (or the end)
// and the quotes are removed; there is no escape character. The scan steps
// over double-byte characters whole.
std::string ArgumentFromCommandLine(const std::string& commandLine, int n);

// Every argument of `commandLine`, the program name first.
std::vector<std::string> ArgumentsFromCommandLine(const std::string& commandLine);

// What the updater is asked to do, as its command line gives it: the
// product switch, the update's version code and the package's display
// name, each exactly as typed (the parameter message shows them so), and
// the options after them.
struct UpdateRequest {
    std::string switchArgument;
    std::string versionCode;
    std::string packageName;
    // /QUIET: nothing is shown and the outcome is the exit code.
    bool quiet = false;
    // /LOG=FILE: the copy log goes to FILE (as typed) instead of the
    // documents folder.
    std::optional<std::string> logFile{};
    // An option that is none of those, or a second /LOG=: the first one.
    std::optional<std::string> badOption{};
};

// Arguments 1, 2 and 3 of `commandLine` (a missing one is ""), then the
// options. An option's word is matched in any letter case. An empty
// package name cannot be typed as such (an empty quote pair is no
// argument), so a third argument that is an option is read as one, and the
// package name is then empty.
UpdateRequest ReadUpdateRequest(const std::string& commandLine);

}  // namespace updater
