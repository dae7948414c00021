// update-kit check STAGED: the lint (check.h) over a staged folder, its
// findings as text or JSON on stdout.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "kit/check.h"
#include "kit/commands.h"
#include "kit/findings.h"

namespace updater::kit {

namespace {

constexpr char kSummary[] = "Lints a staged update folder: is it fit to ship?";

constexpr char kDetails[] =
    "Lints the staged update folder STAGED (updater.exe beside the sub-folders\n"
    "that hold the payload) and prints one line a finding: severity, path\n"
    "below STAGED, reason. Exit status 0 when it is fit to ship, 1 when not,\n"
    "2 on bad usage.\n"
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

struct CheckArguments {
    std::string staged;
    CheckOptions options;
    bool strict = false, json = false;
};

int Check(const CheckArguments& arguments) {
    const std::string& staged = arguments.staged;
    if (!std::filesystem::is_directory(staged)) return UsageError("check", staged + " is not a folder");
    CheckResult result;
    if (const int status = RunReportingErrors("check", [&] {
            result = CheckStaged(staged, arguments.options);
            return 0;
        }))
        return status;
    const bool strict = arguments.strict;
    const std::string out = arguments.json ? FindingsAsJson(result, strict) : FindingsAsText(result, strict);
    std::fputs(out.c_str(), stdout);
    return result.Passes(strict) ? 0 : 1;
}

}  // namespace

CommandWork DeclareCheck(CLI::App& command) {
    const auto arguments = std::make_shared<CheckArguments>();
    command.description(kSummary);
    command.footer(kDetails);
    command.add_option("STAGED", arguments->staged, "the staged update folder")->required()->type_name("");
    command
        .add_option("--target-root", arguments->options.targetRoot,
                    "the product folder on the customer's machine, for\nthe destination paths' length")
        ->type_name("WINPATH")
        ->capture_default_str();
    command
        .add_option("--source-root", arguments->options.sourceRoot,
                    "where STAGED lies on the customer's machine, for the\nsource paths' length (default:\n"
                    "C:\\Users\\<20 characters>\\Downloads\\<STAGED's name>)")
        ->type_name("WINPATH");
    command.add_flag("--strict", arguments->strict, "warnings fail too");
    command.add_flag("--json", arguments->json, "the findings as JSON");
    return [arguments] { return Check(*arguments); };
}

}  // namespace updater::kit
