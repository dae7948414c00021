// update-kit check STAGED: the lint (check.h) over a staged folder, its
// findings as text or JSON on stdout.
#include <cstdio>
#include <filesystem>
#include <string>

#include "kit/check.h"
#include "kit/commands.h"
#include "kit/findings.h"
#include "rules/text.h"

namespace updater::kit {

namespace {

// "%s": the default target root (commands.h).
constexpr char kCheckHelp[] =
    "usage: update-kit check STAGED [--target-root WINPATH] [--source-root WINPATH] [--strict] [--json]\n"
    "\n"
    "Lints the staged update folder STAGED (updater.exe beside the sub-folders\n"
    "that hold the payload) and prints one line a finding: severity, path\n"
    "below STAGED, reason. Exit status 0 when it is fit to ship, 1 when not,\n"
    "2 on bad usage.\n"
    "\n"
    "  --target-root WINPATH  the product folder on the customer's machine, for\n"
    "                         the destination paths' length\n"
    "                         (default: %s)\n"
    "  --source-root WINPATH  where STAGED lies on the customer's machine, for\n"
    "                         the source paths' length (default:\n"
    "                         C:\\Users\\<20 characters>\\Downloads\\<STAGED's name>)\n"
    "  --strict               warnings fail too\n"
    "  --json                 the findings as JSON\n"
    "\n"
    "Paths count in code page 932 bytes and must stay below MAX_PATH (at most\n"
    "259 bytes). Errors: names code page 932 cannot represent exactly or\n"
    "Windows would take for another (a forbidden character, a trailing blank\n"
    "or dot, a device name), names that differ only in case, links of any\n"
    "kind (to folders, to files, hard links, broken ones), paths over the\n"
    "limit, updater.exe missing: the updater refuses the folder that holds\n"
    "any of them and copies nothing more. A signed updater needs its signed\n"
    "manifest, which must list the staged files exactly and name the product\n"
    "line and version code the update is for (shown as \"staged for\"); any\n"
    "fault there is an error. Warnings: files beside updater.exe, PE files\n"
    "without a four-item Japanese FileVersion, files named like the updater\n"
    "in a sub-folder, an empty payload, a signature without a time stamp.\n";

std::string Help() { return FormatText(kCheckHelp, {kDefaultTargetRoot}); }

}  // namespace

int CheckCommand(const Arguments& arguments) {
    CheckOptions options;
    std::string staged;
    bool strict = false, json = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == "--help" || argument == "-h") {
            std::fputs(Help().c_str(), stdout);
            return 0;
        } else if (argument == "--strict") {
            strict = true;
        } else if (argument == "--json") {
            json = true;
        } else if ((argument == "--target-root" || argument == "--source-root") && hasValue) {
            (argument == "--target-root" ? options.targetRoot : options.sourceRoot) = arguments[++i];
        } else if (argument.rfind("--", 0) != 0 && staged.empty()) {
            staged = argument;
        } else {
            std::fprintf(stderr, "update-kit check: unexpected \"%s\"\n%s", argument.c_str(), Help().c_str());
            return 2;
        }
    }
    if (staged.empty()) {
        std::fputs(Help().c_str(), stderr);
        return 2;
    }
    if (!std::filesystem::is_directory(staged)) {
        std::fprintf(stderr, "update-kit check: %s is not a folder\n", staged.c_str());
        return 2;
    }
    CheckResult result;
    if (const int status = RunReportingErrors("check", [&] {
            result = CheckStaged(staged, options);
            return 0;
        }))
        return status;
    const std::string out = json ? FindingsAsJson(result, strict) : FindingsAsText(result, strict);
    std::fputs(out.c_str(), stdout);
    return result.Passes(strict) ? 0 : 1;
}

}  // namespace updater::kit
