// update-kit preview STAGED INSTALLED: the preview (preview.h) of a staged
// update against an installed product folder, printed (preview_output.h).
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "kit/commands.h"
#include "kit/preview/preview.h"
#include "kit/preview/preview_output.h"
#include "kit/preview/preview_world.h"
#include "kit/terminal_progress.h"
#include "native/cp932_codec.h"
#include "rules/cp932.h"
#include "rules/text.h"

namespace updater::kit {

namespace {

// Each "%s" in turn: the default target root (commands.h) and the default
// source root (preview.h).
constexpr char kHelp[] =
    "usage: update-kit preview STAGED INSTALLED [options]\n"
    "\n"
    "Shows what updater.exe would do if it lay in STAGED (a folder holding the\n"
    "update's sub-folders) and the installed product's folder were INSTALLED:\n"
    "one line a payload file, in the order the updater copies them (action,\n"
    "path, new version, installed version, separated by tabs), then the final\n"
    "box and the exact lines of the copy report it would write. Nothing is\n"
    "copied or written; the decisions are the updater's own.\n"
    "\n"
    "options:\n"
    "  --target-root WINPATH   the product's RootDir on Windows, which INSTALLED\n"
    "                          stands for (default: %s)\n"
    "  --source-root WINPATH   the Windows folder STAGED stands for (default: %s)\n"
    "  --product NAME          TORVEN or VANTRIX: names the log file (default: TORVEN)\n"
    "  --report-bytes FILE     also writes the report's exact bytes to FILE\n"
    "                          (an empty file when none would be written)\n"
    "\n"
    "exit status: 0 the run would end well, 1 it would end with the copy-failed\n"
    "box, 2 bad usage.\n";

int Usage(const std::string& problem) { return UsageError("preview", problem); }

}  // namespace

int PreviewCommand(const Arguments& arguments) {
    PreviewOptions options;
    std::vector<std::string> positional;
    std::string reportFile;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(FormatText(kHelp, {kDefaultTargetRoot, kDefaultSourceRoot}).c_str(), stdout);
            return 0;
        }
        if (argument == "--target-root" || argument == "--source-root" || argument == "--product" ||
            argument == "--report-bytes") {
            if (i + 1 >= arguments.size()) return Usage(argument + " needs a value");
            const std::string& value = arguments[++i];
            if (argument == "--product") {
                options.profile = SelectProfile(UpperCaseAscii(value.rfind('/', 0) == 0 ? value : "/" + value));
                if (options.profile == nullptr) return Usage("unknown product \"" + value + "\" (TORVEN or VANTRIX)");
            } else if (argument == "--report-bytes") {
                reportFile = value;
            } else {
                const std::optional<std::string> windows = native::NameInCp932(value);
                if (!windows) return Usage(argument + " cannot be spelled in code page 932: " + value);
                if (!NamesAFolder(*windows)) return Usage(argument + " names no folder");
                (argument == "--target-root" ? options.targetRoot : options.sourceRoot) = *windows;
            }
        } else if (argument.rfind("--", 0) == 0) {
            return Usage("unknown option " + argument);
        } else {
            positional.push_back(argument);
        }
    }
    if (positional.size() != 2) return Usage("STAGED and INSTALLED are needed");
    options.staged = positional[0];
    options.installed = positional[1];
    std::error_code error;
    if (!std::filesystem::is_directory(options.staged, error)) return Usage("not a folder: " + positional[0]);
    if (!std::filesystem::is_directory(options.installed, error)) return Usage("not a folder: " + positional[1]);

    Preview preview;
    try {
        TerminalProgress progress;
        options.progress = [&progress](std::size_t listed) {
            if (progress.enabled()) progress.Show("preview: " + std::to_string(listed) + " entries listed");
        };
        preview = MakePreview(options);
    } catch (const PreviewError& problem) {
        return Usage(problem.what());
    }
    if (!reportFile.empty()) {
        std::FILE* file = std::fopen(reportFile.c_str(), "wb");
        const std::string bytes = preview.report.value_or("");
        const bool written = file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (file != nullptr && std::fclose(file) != 0) return Usage("cannot write " + reportFile);
        if (!written) return Usage("cannot write " + reportFile);
    }
    PrintPreview(preview, stdout);
    return preview.succeeds ? 0 : 1;
}

}  // namespace updater::kit
