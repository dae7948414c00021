// update-kit preview STAGED INSTALLED: the preview (preview.h) of a staged
// update against an installed product folder, printed (preview_output.h).
#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "kit/command_line.h"
#include "kit/commands.h"
#include "kit/preview/preview.h"
#include "kit/preview/preview_output.h"
#include "kit/preview/preview_world.h"
#include "kit/terminal_progress.h"
#include "native/cp932_codec.h"
#include "rules/cp932.h"

namespace updater::kit {

namespace {

constexpr char kSummary[] = "What updater.exe would do, copying nothing.";

constexpr char kDetails[] =
    "Shows what updater.exe would do if it lay in STAGED (a folder holding the\n"
    "update's sub-folders) and the installed product's folder were INSTALLED:\n"
    "one line a payload file, in the order the updater copies them (action,\n"
    "path, new version, installed version, separated by tabs), then the final\n"
    "box and the exact lines of the copy report it would write. Nothing is\n"
    "copied or written; the decisions are the updater's own.\n"
    "\n"
    "exit status: 0 the run would end well, 1 it would end with the copy-failed\n"
    "box, 2 bad usage.\n";

// The command line as given; RunPreview() turns it into PreviewOptions.
struct PreviewArguments {
    std::string staged, installed;
    std::string targetRoot = kDefaultTargetRoot, sourceRoot = kDefaultSourceRoot;  // UTF-8
    std::string product = kProductProfiles[0].switchText + 1;                     // the first's, without its "/"
    std::string reportFile;
};

int Usage(const std::string& problem) { return UsageError("preview", problem); }

// `value` as the updater works with it (code page 932), or "" (never a root)
// after saying on stderr why it cannot be one.
std::string WindowsRoot(const char* option, const std::string& value) {
    const std::optional<std::string> windows = native::NameInCp932(value);
    if (!windows) {
        Usage(std::string(option) + " cannot be spelled in code page 932: " + value);
        return "";
    }
    if (!NamesAFolder(*windows)) {
        Usage(std::string(option) + " names no folder");
        return "";
    }
    return *windows;
}

int RunPreview(const PreviewArguments& arguments) {
    PreviewOptions options;
    const std::string& product = arguments.product;
    options.profile = SelectProfile(UpperCaseAscii(product.rfind('/', 0) == 0 ? product : "/" + product));
    if (options.profile == nullptr) return Usage("unknown product \"" + product + "\" (TORVEN or VANTRIX)");
    options.targetRoot = WindowsRoot("--target-root", arguments.targetRoot);
    if (options.targetRoot.empty()) return 2;
    options.sourceRoot = WindowsRoot("--source-root", arguments.sourceRoot);
    if (options.sourceRoot.empty()) return 2;
    options.staged = arguments.staged;
    options.installed = arguments.installed;
    const std::string& reportFile = arguments.reportFile;
    std::error_code error;
    if (!std::filesystem::is_directory(options.staged, error)) return Usage("not a folder: " + arguments.staged);
    if (!std::filesystem::is_directory(options.installed, error)) return Usage("not a folder: " + arguments.installed);

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

}  // namespace

CommandWork DeclarePreview(CLI::App& command) {
    const auto arguments = std::make_shared<PreviewArguments>();
    command.description(kSummary);
    command.footer(kDetails);
    command.add_option("STAGED", arguments->staged, "the folder updater.exe would lie in")->required()->type_name("");
    command.add_option("INSTALLED", arguments->installed, "the installed product's folder")
        ->required()
        ->type_name("");
    command
        .add_option("--target-root", arguments->targetRoot,
                    "the product's RootDir on Windows, which INSTALLED\nstands for")
        ->type_name("WINPATH")
        ->capture_default_str();
    command.add_option("--source-root", arguments->sourceRoot, "the Windows folder STAGED stands for")
        ->type_name("WINPATH")
        ->capture_default_str();
    command.add_option("--product", arguments->product, "names the log file")
        ->type_name("TORVEN|VANTRIX")
        ->capture_default_str();
    command
        .add_option("--report-bytes", arguments->reportFile,
                    "also writes the report's exact bytes to FILE\n(an empty file when none would be written)")
        ->type_name("FILE");
    return [arguments] { return RunPreview(*arguments); };
}

int PreviewCommand(const Arguments& arguments) { return RunCommand("preview", DeclarePreview, arguments); }

}  // namespace updater::kit
