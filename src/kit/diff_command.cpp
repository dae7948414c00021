// update-kit diff: its options (diff.h says what it does).
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "kit/commands.h"
#include "kit/diff.h"
#include "kit/files.h"

namespace updater::kit {

namespace fs = std::filesystem;

namespace {

constexpr char kSummary[] = "Writes the smallest payload from older releases.";

constexpr char kDetails[] =
    "Writes to PAYLOAD the smallest payload that brings a product folder holding\n"
    "any OLD release to NEW: every file of NEW that is missing from, or differs\n"
    "in its bytes from, at least one OLD, at its path in NEW. Releases are\n"
    "folders laid out as they install. PAYLOAD must not exist or be empty; it\n"
    "is ready for `update-kit stage --payload PAYLOAD`. Nothing else is written.\n"
    "\n"
    "Prints one line a file of NEW: payload or left out, its path, and for each\n"
    "OLD what a machine with it installed meets (added, changed, unchanged, or\n"
    "left alone), decided by the updater's own version reading and copy rule;\n"
    "then the sizes saved and check's kind of findings. Errors: a changed file\n"
    "the updater would leave alone on a machine with an OLD (its installed\n"
    "FileVersion sorts after the new one), a new or changed file at NEW's top\n"
    "level (it would lie beside updater.exe, which never copies it), an entry\n"
    "that is neither a file nor a folder, and whatever `update-kit check` calls\n"
    "an error in the payload. Warnings: a file of an OLD missing from NEW (it\n"
    "stays installed), a name whose letter case differs between an OLD and NEW\n"
    "(Windows keeps the installed spelling), a changed PE file whose FileVersion\n"
    "did not change, and check's warnings. With an error no payload is written.\n"
    "\n"
    "Exit status 0 when the payload is written, 1 when the releases have a fault\n"
    "or cannot be read, 2 on bad usage.\n";

struct DiffArguments {
    DiffOptions options;
    bool strict = false, json = false;
};

int Usage(const std::string& problem) { return UsageError("diff", problem); }

// True when `inner` is `outer` or lies below it (both as they resolve now).
bool LiesWithin(const fs::path& inner, const fs::path& outer) {
    std::error_code error;
    const fs::path a = fs::weakly_canonical(inner, error), b = fs::weakly_canonical(outer, error);
    const auto [stop, ignored] = std::mismatch(b.begin(), b.end(), a.begin(), a.end());
    return stop == b.end();
}

int Diff(const DiffArguments& arguments) {
    const DiffOptions& options = arguments.options;
    const bool strict = arguments.strict, json = arguments.json;
    std::error_code error;
    for (const fs::path& release : options.from)
        if (!fs::is_directory(release, error)) return Usage("not a folder: " + release.string());
    if (!fs::is_directory(options.to, error)) return Usage("not a folder: " + options.to.string());
    const fs::path out = OutputFolder(options.out.string());
    if (LiesWithin(out, options.to)) return Usage("--out lies within NEW");
    for (const fs::path& release : options.from)
        if (LiesWithin(out, release)) return Usage("--out lies within " + release.string());
    if (!IsAbsentOrEmptyFolder(out)) {
        std::fprintf(stderr, "update-kit diff: %s exists and is not an empty folder: nothing written\n",
                     options.out.c_str());
        return 1;
    }
    return RunReportingErrors(
        "diff",
        [&] {
            ReleaseDiff diff = DiffReleases(options);
            WritePayload(options, strict, diff);
            std::string text = json ? DiffAsJson(diff, strict) : DiffAsText(diff, strict);
            if (!json)
                text += diff.payloadWritten ? "payload written to " + options.out.string() + "\n"
                                            : std::string("no payload written\n");
            std::fputs(text.c_str(), stdout);
            return diff.payloadWritten ? 0 : 1;
        },
        ": no payload written");
}

}  // namespace

CommandWork DeclareDiff(CLI::App& command) {
    const auto arguments = std::make_shared<DiffArguments>();
    DiffOptions& options = arguments->options;
    command.description(kSummary);
    command.footer(kDetails);
    command.add_option("--from", options.from, "a release customers may have installed, once each")
        ->required()
        ->type_name("OLD")
        ->allow_extra_args(false);  // one folder a --from
    command.add_option("--to", options.to, "the new release")->required()->type_name("NEW");
    command.add_option("--out", options.out, "the payload's folder, to write")->required()->type_name("PAYLOAD");
    command.add_flag("--strict", arguments->strict, "warnings fail too (and no payload is written)");
    command.add_flag("--json", arguments->json, "the files, sizes and findings as JSON");
    return [arguments] { return Diff(*arguments); };
}

}  // namespace updater::kit
