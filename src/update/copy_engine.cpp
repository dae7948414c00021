#include "update/copy_engine.h"

#include <optional>

#include "platform/platform.h"
#include "update/payload.h"
#include "update/text.h"
#include "update/texts.h"

namespace updater {

std::string DestinationPath(const std::string& file, const std::string& sourceRoot,
                            const std::string& targetRoot) {
    if (FindText(file, sourceRoot) != 0) return ReplaceAll(file, sourceRoot, targetRoot);
    std::string dest;
    dest.reserve(targetRoot.size() + 1 + file.size() - sourceRoot.size());
    dest.append(targetRoot);
    if (EndsWithBackslash(dest)) dest.pop_back();
    if (file.size() == sourceRoot.size() || file[sourceRoot.size()] != '\\') dest += '\\';
    const std::string below = file.substr(sourceRoot.size());
    if (FindText(below, sourceRoot) == std::string::npos) return dest += below;
    return dest += ReplaceAll(below, sourceRoot, targetRoot);
}

bool ShouldCopy(const std::string& newStamp, const std::string& oldStamp) {
    if (newStamp == kUnknownStamp || oldStamp == kUnknownStamp) return true;
    return !(MakeVersionKey(newStamp) < MakeVersionKey(oldStamp));
}

namespace {

// Writes the report as the profile's log when it holds lines and the log
// folder already exists; the folder is never created.
void SaveCopyReport(const TextList& report, const ProductProfile& profile) {
    if (report.empty()) return;
    const std::string folder = GetSpecialFolder(SpecialFolder::Personal) + "\\" + profile.logFolderName;
    if (!DirectoryExists(folder)) return;
    SaveTextFile(folder + "\\" + profile.logFileName, report);
}

// Copies or leaves one file; false when its copy failed. The installed copy's
// stamp is read first (a missing copy reads as unknown): only against a known
// one does the new file's stamp decide anything, so otherwise it is read just
// for a failure line. Version reads cost about as much as a copy on some
// systems.
bool UpdateFile(const std::string& file, const std::string& dest, TextList& report) {
    const std::string oldStamp = ReadVersionStamp(dest).text;
    std::optional<std::string> newStamp;
    const auto readNewStamp = [&]() -> const std::string& {
        if (!newStamp) newStamp = ReadVersionStamp(file).text;
        return *newStamp;
    };
    if (oldStamp != kUnknownStamp && !ShouldCopy(readNewStamp(), oldStamp)) {
        report.push_back(FormatText(texts::kLeftAloneLine, {readNewStamp(), oldStamp, dest}));
        return true;
    }
    if (ShellCopyFile(ApplicationWindow(), file, dest, kShellCopyFlags) != 0) {
        report.push_back(FormatText(texts::kCopyFailedLine, {readNewStamp(), dest}));
        return false;
    }
    return true;
}

bool CopyAll(const std::string& sourceRoot, const std::string& targetRoot, TextList& report) {
    for (const std::string& folder : ListPayload(ListMode::FoldersOnly, sourceRoot)) {
        for (const std::string& file : ListPayload(ListMode::FilesDeep, folder)) {
            if (!UpdateFile(file, DestinationPath(file, sourceRoot, targetRoot), report)) return false;
        }
    }
    return true;
}

}  // namespace

bool CopyPayload(const std::string& sourceRoot, const std::string& targetRoot,
                 const ProductProfile& profile) {
    TextList report;
    bool ok = false;
    try {
        ok = CopyAll(sourceRoot, targetRoot, report);
    } catch (...) {
        // The report of what happened before the error is kept; the error
        // itself is what goes on, even if the log cannot be written.
        try {
            SaveCopyReport(report, profile);
        } catch (...) {
        }
        throw;
    }
    SaveCopyReport(report, profile);
    return ok;
}

}  // namespace updater
