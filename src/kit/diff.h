// update-kit diff: the smallest payload that brings every listed old release
// to the new one, and the version mistakes that would make it silently not
// apply.
//
//   update-kit diff --from OLD [--from OLD ...] --to NEW --out PAYLOAD [--strict] [--json]
//
// Releases are trees laid out as they install. A file of NEW goes into the
// payload, at its path in NEW, when at least one OLD lacks it or holds other
// bytes; nothing else does. Names match as Windows matches them (the exact
// name first, then one differing only in letter case); two files whose sizes
// differ are never read, and two names of one file (one device and inode)
// are the same bytes unread.
//
// What happens on a machine with an OLD installed is the updater's own
// decision: the stamps it reads (StampOfFileVersion of the Japanese
// FileVersion, read by the same portable reader as preview) and ShouldCopy.
//
// Findings, as check's:
// - error: a changed file the updater would leave alone on a machine with
//   one of the OLD releases (its installed stamp's key sorts after the new one);
// - error: a new or changed file at NEW's top level: staged, it would lie
//   beside updater.exe, which copies only its sub-folders' files;
// - error: an entry of a release that is neither a file nor a folder;
// - error or warning: whatever check says of the payload (check's rules run
//   over it, as stage will run them);
// - warning: a file of an OLD missing from NEW (the updater never removes a
//   file: it stays installed);
// - warning: a name whose letter case differs between an OLD and NEW
//   (Windows keeps the installed spelling);
// - warning: a changed PE file whose FileVersion did not change.
// With an error (with --strict, a warning), no payload is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "kit/findings.h"

namespace updater::kit {

// What one NEW file meets on a machine with one OLD release installed.
enum class MachineState {
    kAdded,      // no installed copy: the payload's copy is added
    kChanged,    // other bytes installed: the payload's copy replaces them
    kUnchanged,  // the same bytes installed
    kLeftAlone,  // other bytes installed, and the updater keeps them: an error
};

std::string_view MachineStateText(MachineState state);

struct DiffedFile {
    std::string relative;              // in NEW, "/"-separated, as on disk
    std::uint64_t size = 0;
    bool inPayload = false;
    std::vector<MachineState> states;  // one for each OLD, in the order given
    std::vector<std::string> stamps;   // "OLD -> NEW" for each OLD where versions were compared, else ""
};

struct DiffOptions {
    std::vector<std::filesystem::path> from;
    std::filesystem::path to;
    std::filesystem::path out;
};

struct ReleaseDiff {
    std::vector<std::string> fromNames;  // how findings and lines name each OLD: as given
    std::vector<DiffedFile> files;       // NEW's files in walk order
    CheckResult findings;                // filesChecked: NEW's files
    std::uint64_t newBytes = 0;
    std::size_t payloadFiles = 0;
    std::uint64_t payloadBytes = 0;
    bool payloadWritten = false;
};

// Compares the releases and finds what check-like findings the comparison
// shows; writes nothing. Throws std::filesystem::filesystem_error or
// std::runtime_error when a release cannot be read.
ReleaseDiff DiffReleases(const DiffOptions& options);

// Builds the payload beside options.out, runs check's rules over it (their
// findings join the diff's), and hands it over as options.out when the
// findings pass; otherwise removes it. Sets payloadWritten.
void WritePayload(const DiffOptions& options, bool strict, ReleaseDiff& diff);

// The diff as update-kit prints it: one line a NEW file (in the payload or
// left out, its path, then each OLD's state), the findings, the summary.
std::string DiffAsText(const ReleaseDiff& diff, bool strict);
std::string DiffAsJson(const ReleaseDiff& diff, bool strict);

}  // namespace updater::kit
