#include "kit/preview.h"

#include <unistd.h>

#if defined(__GLIBC__)
#endif

#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

#include "host/cp932_codec.h"
#include "kit/commands.h"
#include "platform/preview/preview_platform.h"
#include "text/cp932.h"
#include "text/path.h"
#include "text/text.h"
#include "text/texts.h"
#include "update/copy_engine.h"
#include "update/payload.h"
#include "update/run_update.h"
#include "update/version_stamp.h"

namespace updater::kit {

namespace {

using preview::PreviewWorld;

// What a payload file is, before the run: the version texts the updater
// reads and whether there is an installed copy.
struct PayloadFile {
    std::string path;
    std::string newStamp;
    std::optional<std::string> installedStamp;
};

// The payload's files in the order the updater takes them, each with the
// stamps the updater reads, named by the updater's own listing. Stops where
// the run stops: at a folder that cannot be listed, none of whose files is
// taken.
std::vector<PayloadFile> ListTakenFiles(const std::string& sourceRoot, const std::string& targetRoot,
                                        std::string& unreadableFolder) {
    std::vector<PayloadFile> files;
    const PayloadListing folders = ListPayload(ListMode::FoldersOnly, sourceRoot);
    if (!folders.ok()) {
        unreadableFolder = folders.unreadableFolder;
        return files;
    }
    for (const std::string& folder : folders.paths) {
        const PayloadListing listing = ListPayload(ListMode::FilesDeep, folder, {folders.identity});
        if (!listing.ok()) {
            unreadableFolder = listing.unreadableFolder;
            return files;
        }
        for (const std::string& file : listing.paths) {
            const std::string dest = DestinationPath(file, sourceRoot, targetRoot);
            std::optional<std::string> installed;
            if (FileExists(dest)) installed = ReadVersionStamp(dest).text;
            files.push_back({file, ReadVersionStamp(file).text, std::move(installed)});
        }
    }
    return files;
}

PreviewAction CopyReason(const PayloadFile& file) {
    if (!file.installedStamp) return PreviewAction::kCopyNewFile;
    if (*file.installedStamp == kUnknownStamp) return PreviewAction::kCopyInstalledWithoutVersion;
    if (file.newStamp == kUnknownStamp) return PreviewAction::kCopyNewWithoutVersion;
    if (MakeVersionKey(file.newStamp) == MakeVersionKey(*file.installedStamp)) return PreviewAction::kCopyInstalledEqual;
    return PreviewAction::kCopyInstalledOlder;
}

}  // namespace

std::string_view ActionText(PreviewAction action) {
    switch (action) {
        case PreviewAction::kCopyNewFile: return "copy (new file)";
        case PreviewAction::kCopyInstalledOlder: return "copy (installed copy older)";
        case PreviewAction::kCopyInstalledEqual: return "copy (installed copy equal)";
        case PreviewAction::kCopyInstalledWithoutVersion: return "copy (installed copy without a version)";
        case PreviewAction::kCopyNewWithoutVersion: return "copy (new file without a version)";
        case PreviewAction::kLeaveAlone: return "leave alone (installed copy newer)";
    }
    return "?";
}

Preview MakePreview(const PreviewOptions& options) {
    preview::PreviewSetup setup;
    // One updater.exe in the source root: a drive's root keeps its "\".
    setup.sourceRoot = WithoutTrailingSeparators(options.sourceRoot);
    if (!setup.sourceRoot.empty() && setup.sourceRoot.back() == ':') setup.sourceRoot += '\\';
    setup.stagedFolder = options.staged;
    setup.rootDir = options.targetRoot;
    setup.installedFolder = options.installed;
    setup.logFolder = options.profile->logFolderName;
    // The first edition of the product, and a version code that passes the
    // version gate (the registry holds no installed version).
    setup.arguments = {options.profile->switchText, kEditionTable[0].versionCode, "preview"};
    // The run's world, for this preview only.
    PreviewWorld world(std::move(setup), options.progress);

    Preview result;
    // The roots exactly as the run takes them.
    result.sourceRoot = FolderOfPath(GetExecutablePath());
    result.targetRoot = LookupInstalledProduct(*options.profile, 0).targetRoot;
    if (result.targetRoot.empty()) throw PreviewError("the target root names no folder");
    result.logName = std::string("Documents\\") + options.profile->logFolderName + "\\" + options.profile->logFileName;

    const std::vector<PayloadFile> files = ListTakenFiles(result.sourceRoot, result.targetRoot, result.unreadableFolder);

    RunUpdate();

    // Every decision is the run's: a file it copied is copied, a file it
    // reached and did not copy was left alone.
    const std::vector<preview::RecordedCopy>& copies = world.copies();
    std::size_t next = 0;
    const std::string prefix = JoinPath(result.sourceRoot, "");
    for (const PayloadFile& file : files) {
        const std::string dest = DestinationPath(file.path, result.sourceRoot, result.targetRoot);
        const bool copied =
            next < copies.size() && copies[next].source == file.path && copies[next].destination == dest;
        if (copied) ++next;
        PreviewEntry entry{copied ? CopyReason(file) : PreviewAction::kLeaveAlone,
                           file.path.compare(0, prefix.size(), prefix) == 0 ? file.path.substr(prefix.size())
                                                                             : file.path,
                           file.newStamp, file.installedStamp};
        result.entries.push_back(std::move(entry));
    }
    if (next != copies.size()) throw std::logic_error("the run copied files the preview did not list in that order");

    if (world.boxes().empty()) throw std::logic_error("the run ended without its final box");
    const preview::RecordedBox& box = world.boxes().back();
    result.succeeds = box.kind == DialogKind::Information;
    result.endBoxText = box.text;
    if (!world.savedFiles().empty()) result.report = world.savedFiles().back().Bytes();
    return result;
}

namespace {

// Code page 932 bytes as UTF-8; bytes that do not convert are shown as \xNN.
std::string Shown(const std::string& cp932) {
    if (std::optional<std::string> utf8 = host::Cp932ToUtf8(cp932)) return *utf8;
    std::string shown;
    for (std::size_t pos = 0; pos < cp932.size();) {
        const std::size_t length = CharLength(cp932, pos);
        const std::string piece = cp932.substr(pos, length);
        if (std::optional<std::string> utf8 = host::Cp932ToUtf8(piece)) {
            shown += *utf8;
        } else {
            for (const char c : piece) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
                shown += hex;
            }
        }
        pos += length;
    }
    return shown;
}

}  // namespace

void PrintPreview(const Preview& preview, std::FILE* out) {
    std::size_t copying = 0;
    for (const PreviewEntry& entry : preview.entries) {
        if (entry.action != PreviewAction::kLeaveAlone) ++copying;
        const std::string installed = entry.installedStamp ? Shown(StampForLog(*entry.installedStamp)) : "-";
        std::fprintf(out, "%.*s\t%s\t%s\t%s\n", static_cast<int>(ActionText(entry.action).size()),
                     ActionText(entry.action).data(), Shown(entry.relativePath).c_str(),
                     Shown(StampForLog(entry.newStamp)).c_str(), installed.c_str());
    }

    std::fprintf(out, "\nfiles: %zu to copy, %zu left alone", copying, preview.entries.size() - copying);
    std::fprintf(out, "\nend: %s box \"%s\"", preview.succeeds ? "information" : "copy-failed (error)",
                 Shown(preview.endBoxText).c_str());
    if (!preview.unreadableFolder.empty())
        std::fprintf(out, ": the folder %s cannot be listed, nothing after it is copied",
                     Shown(preview.unreadableFolder).c_str());
    std::fputc('\n', out);
    if (!preview.report) {
        std::fputs("report: none (no log file is written; an earlier one stays as it is)\n", out);
        return;
    }
    const TextList lines = [&] {
        TextList split;
        std::size_t start = 0;
        for (std::size_t end; (end = preview.report->find("\r\n", start)) != std::string::npos; start = end + 2)
            split.push_back(preview.report->substr(start, end - start));
        return split;
    }();
    std::fprintf(out, "report: %zu line%s, %zu bytes (code page 932, each line ending in CR LF), written to %s "
                      "when that folder exists:\n",
                 lines.size(), lines.size() == 1 ? "" : "s", preview.report->size(), Shown(preview.logName).c_str());
    for (const std::string& line : lines) std::fprintf(out, "%s\n", Shown(line).c_str());
}

// ---- the command ------------------------------------------------------------

namespace {

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
    "                          stands for (default: C:\\Program Files (x86)\\ORMIKA\\TORVEN)\n"
    "  --source-root WINPATH   the Windows folder STAGED stands for (default: C:\\update)\n"
    "  --product NAME          TORVEN or VANTRIX: names the log file (default: TORVEN)\n"
    "  --report-bytes FILE     also writes the report's exact bytes to FILE\n"
    "                          (an empty file when none would be written)\n"
    "\n"
    "exit status: 0 the run would end well, 1 it would end with the copy-failed\n"
    "box, 2 bad usage.\n";

int Usage(const std::string& problem) {
    std::fprintf(stderr, "update-kit preview: %s\n(update-kit preview --help for the options)\n", problem.c_str());
    return 2;
}

// Shows how many entries were listed, on a terminal only, at most ten times a second.
class Progress {
public:
    Progress() : enabled_(isatty(STDERR_FILENO) == 1) {}
    ~Progress() {
        if (shown_) std::fputs("\r\033[K", stderr);
    }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void operator()(std::size_t listed) {
        if (!enabled_) return;
        const auto now = std::chrono::steady_clock::now();
        if (shown_ && now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        shown_ = true;
        std::fprintf(stderr, "\rpreview: %zu entries listed", listed);
        std::fflush(stderr);
    }

private:
    bool enabled_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_;
};

}  // namespace

int PreviewCommand(const Arguments& arguments) {
    PreviewOptions options;
    std::vector<std::string> positional;
    std::string reportFile;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(kHelp, stdout);
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
                const std::optional<std::string> windows = host::NameInCp932(value);
                if (!windows) return Usage(argument + " cannot be spelled in code page 932: " + value);
                if (WithoutTrailingSeparators(*windows).empty()) return Usage(argument + " names no folder");
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
        Progress progress;
        options.progress = [&progress](std::size_t listed) { progress(listed); };
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
