#include "kit/check.h"

#include <algorithm>
#include <map>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "kit/files.h"
#include "kit/manifest.h"
#include "kit/manifest_check.h"
#include "kit/manifest_signature.h"
#include "kit/readable_text.h"
#include "kit/terminal_progress.h"
#include "native/cp932_codec.h"
#include "native/pe_version.h"
#include "rules/copy_rules.h"
#include "rules/file_name.h"
#include "rules/manifest_format.h"
#include "rules/path.h"
#include "rules/payload_entry.h"
#include "rules/version_key.h"

namespace updater::kit {

namespace fs = std::filesystem;

namespace {

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
               return lower(x) == lower(y);
           });
}

// Why a code page 932 name with `fault` would not name exactly its own file on Windows; "" for none.
std::string NameFaultText(NameFault fault) {
    switch (fault) {
    case NameFault::kNone: return "";
    case NameFault::kForbiddenCharacter:
        return "holds a control character or one of \\ / : * ? \" < > |, which Windows does not allow in a name";
    case NameFault::kTrailingBlankOrDot: return "ends in a blank or a dot, which Windows drops";
    case NameFault::kDeviceName: return "is a device name on Windows (CON, PRN, AUX, NUL, COM1-9, LPT1-9)";
    case NameFault::kReservedName: return "is the name the updater writes a new file under until it is whole";
    case NameFault::kEmpty: return "is empty";
    }
    return "";
}

struct Entry {
    std::string name;
    fs::file_status link;    // the entry itself
    fs::file_status target;  // what it leads to
};

std::vector<Entry> ReadFolder(const fs::path& folder) {
    std::vector<Entry> entries;
    for (const fs::directory_entry& item : fs::directory_iterator(folder)) {
        std::error_code ignored;
        entries.push_back({item.path().filename().string(), item.symlink_status(), item.status(ignored)});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries;
}

// What the updater's version reading makes of a file: nothing to say for a
// file that is not a PE file, else the reason it counts as unknown, or "".
std::string VersionProblem(const fs::path& file) {
    const std::optional<std::string> read = ReadIfStartsLikePe(file);
    if (!read) return "";
    const std::string& bytes = *read;
    if (native::DetectPeFormat(bytes) == native::PeFormat::kNotPe) return "";
    const std::optional<std::string> version = native::ReadJapaneseFileVersion(bytes);
    const char* const consequence = ": it is copied whatever version is installed";
    if (!version) return std::string("PE file without a Japanese FileVersion") + consequence;
    if (!ParseVersionStamp(*version))
        return "FileVersion \"" + Cp932AsReadableUtf8(*version) + "\" is not four items" + consequence;
    if (*version == kUnknownStamp) return std::string("FileVersion 0.0.0.0 counts as unknown") + consequence;
    return "";
}

class Checker {
public:
    Checker(const fs::path& staged, const CheckOptions& options) : staged_(staged), options_(options) {
        targetRoot_ = RootInCp932(options.targetRoot, "--target-root");
        sourceRoot_ = RootInCp932(options.sourceRoot.empty() ? DefaultSourceRoot(staged) : options.sourceRoot,
                                  "--source-root");
    }

    CheckResult Run() {
        CheckRoot();
        // stage checks a payload before there is an updater or a manifest.
        if (!options_.updaterToBeAdded) CheckManifestOf(staged_, updaterName_, result_);
        if (copied_ == 0)
            Add(Severity::kWarning, ".", "empty payload: no file in the sub-folders would be copied");
        return std::move(result_);
    }

private:
    static std::string RootInCp932(const std::string& root, const char* option) {
        std::optional<std::string> bytes = native::NameInCp932(root);
        if (!bytes) throw std::invalid_argument(std::string(option) + " cannot be written in code page 932");
        // Without the "\" separators it ends in (never the second byte of a
        // double-byte character), keeping at least its first three bytes: a
        // drive's root folder ("C:\") stays whole.
        if (bytes->size() <= 3) return *bytes;
        const std::string trimmed = WithoutTrailingSeparators(*bytes);
        return trimmed.size() >= 3 ? trimmed : bytes->substr(0, 3);
    }

    void Add(Severity severity, std::string path, std::string reason) {
        result_.findings.push_back({severity, std::move(path), std::move(reason)});
    }

    void CheckRoot() {
        const std::vector<Entry> entries = ReadFolder(staged_);
        if (options_.updaterToBeAdded) {
            updaterName_ = *options_.updaterToBeAdded;
        } else {
            const auto updater = std::find_if(entries.begin(), entries.end(), [](const Entry& e) {
                return EqualsIgnoringAsciiCase(e.name, kUpdaterFileName) && fs::is_regular_file(e.target);
            });
            if (updater == entries.end()) Add(Severity::kError, kUpdaterFileName, "updater.exe missing");
            else updaterName_ = updater->name;
        }
        // Every name counts for case (two updaters in two cases are one file
        // on Windows); the spelling matters only for what is copied.
        std::map<std::u16string, std::string> keys;
        for (const Entry& entry : entries) {
            const bool sameAsAnother = !CheckCase(entry.name, entry.name, keys);
            if (fs::is_directory(entry.target) && (fs::is_directory(entry.link) || fs::is_symlink(entry.link))) {
                // A folder of the payload: its name and links as the updater's
                // rule judges them. The updater's own name is its file's
                // here; a folder bearing it is checked like any other.
                const EntryRuling ruling = Rule(entry, staged_);
                if (ruling.link) {
                    Add(Severity::kError, entry.name, "link to a folder: the updater would copy what it leads to");
                } else {
                    ReportName(ruling, entry.name);
                    CheckFolder(staged_ / entry.name, entry.name, "\\" + native::WindowsAnsiBytes(entry.name),
                                false, false);
                }
            } else if (!fs::is_regular_file(entry.target)) {
                Add(Severity::kError, entry.name, Unusual(entry));
            } else if (sameAsAnother) {
                continue;
            } else if (EqualsIgnoringAsciiCase(entry.name, kUpdaterFileName)) {
                if (options_.updaterToBeAdded)
                    Add(Severity::kError, entry.name, "lies where the updater goes and would be replaced by it");
            } else if (entry.name != kManifestFileName && entry.name != kManifestSignatureFileName) {
                Add(Severity::kWarning, entry.name, "beside updater.exe: never copied");
            }
        }
    }

    static std::string Unusual(const Entry& entry) {
        if (fs::is_symlink(entry.link) && !fs::exists(entry.target)) return "broken link";
        return "neither a file nor a folder";
    }

    // `relative` is "/"-separated UTF-8 for the findings, `windowsRelative`
    // the "\"-led code page 932 path below the staged folder.
    void CheckFolder(const fs::path& folder, const std::string& relative, const std::string& windowsRelative,
                     bool sourceTooLong, bool targetTooLong) {
        CheckLength(relative, windowsRelative, sourceTooLong, targetTooLong);
        std::map<std::u16string, std::string> keys;
        for (const Entry& entry : ReadFolder(folder)) {
            const std::string path = relative + "/" + entry.name;
            const std::string windowsPath = windowsRelative + "\\" + native::WindowsAnsiBytes(entry.name);
            // The updater's rule for the entry. A lint reports every reason
            // it gives and looks on, where the updater stops at the first.
            const EntryRuling ruling = Rule(entry, folder);
            ReportName(ruling, path);
            CheckCase(entry.name, path, keys);
            if (ruling.verdict == EntryVerdict::kSkipAsUpdater) {
                Add(Severity::kWarning, path,
                    fs::is_directory(entry.link) ? "named like the updater: skipped with everything in it"
                                                 : "named like the updater: skipped, never copied");
                continue;
            }
            if (ruling.link) {
                Add(Severity::kError, path, LinkFinding(entry));
            } else if (fs::is_directory(entry.link)) {
                CheckFolder(folder / entry.name, path, windowsPath, sourceTooLong, targetTooLong);
            } else if (fs::is_regular_file(entry.target)) {
                bool sourceLong = sourceTooLong, targetLong = targetTooLong;
                CheckLength(path, windowsPath, sourceLong, targetLong);
                ++copied_;
                ++result_.filesChecked;
                if (const std::string problem = VersionProblem(folder / entry.name); !problem.empty())
                    Add(Severity::kWarning, path, problem);
                progress_.Show("checking: " + std::to_string(result_.filesChecked) + " files");
            } else {
                Add(Severity::kError, path, Unusual(entry));
            }
        }
    }

    // The rule's ruling on an entry of `folder`: its name as the updater
    // lists it (an inexact one names nothing, not even the updater), whether
    // it is a link (symbolic link, or a file with more than one hard link),
    // and the updater's name, ASCII, the same bytes in code page 932.
    EntryRuling Rule(const Entry& entry, const fs::path& folder) const {
        const std::optional<std::string> cp932 = native::NameInCp932(entry.name);
        const std::string name = cp932.value_or("");
        std::error_code ignored;
        const bool link = fs::is_symlink(entry.link) ||
                          (fs::is_regular_file(entry.link) && fs::hard_link_count(folder / entry.name, ignored) > 1);
        return RulePayloadEntry({name, cp932.has_value(), link}, updaterName_);
    }

    void ReportName(const EntryRuling& ruling, const std::string& path) {
        if (ruling.inexactName) {
            Add(Severity::kError, path, "name cannot be written in code page 932");
        } else if (const std::string fault = NameFaultText(ruling.nameFault); !fault.empty()) {
            Add(Severity::kError, path, "name " + fault);
        }
    }

    // What a link found by the rule is, in a finding's words.
    static std::string LinkFinding(const Entry& entry) {
        if (!fs::is_symlink(entry.link)) return "file with more than one hard link: the updater copies no link";
        if (fs::is_directory(entry.target)) return "link to a folder inside the payload";
        if (fs::is_regular_file(entry.target)) return "link to a file: the updater copies no link";
        return Unusual(entry);
    }

    // False (and an error) when an earlier name of the folder is the same on Windows.
    bool CheckCase(const std::string& name, const std::string& path, std::map<std::u16string, std::string>& keys) {
        const auto [it, inserted] = keys.emplace(native::CaseKey(name), name);
        if (!inserted) Add(Severity::kError, path, "differs only in case from \"" + it->second + "\": one name on Windows");
        return inserted;
    }

    // Reports a side once, at the first entry below which every path is too long.
    void CheckLength(const std::string& path, const std::string& windowsRelative, bool& sourceTooLong,
                     bool& targetTooLong) {
        const std::string source = sourceRoot_ + windowsRelative;
        if (!sourceTooLong && !FitsAnsiCalls(source.size())) {
            sourceTooLong = true;
            Add(Severity::kError, path,
                "source path of " + std::to_string(source.size()) + " bytes passes the ANSI limit of " +
                    std::to_string(kAnsiPathLimit) + ": " + Cp932AsReadableUtf8(source));
        }
        const std::string target = DestinationPath(source, sourceRoot_, targetRoot_);
        if (!targetTooLong && !FitsAnsiCalls(target.size())) {
            targetTooLong = true;
            Add(Severity::kError, path,
                "destination path of " + std::to_string(target.size()) + " bytes passes the ANSI limit of " +
                    std::to_string(kAnsiPathLimit) + ": " + Cp932AsReadableUtf8(target));
        }
    }

    const fs::path staged_;
    const CheckOptions& options_;
    std::string targetRoot_;
    std::string sourceRoot_;
    std::string updaterName_ = kUpdaterFileName;
    std::size_t copied_ = 0;
    CheckResult result_;
    TerminalProgress progress_;
};

}  // namespace

std::string DefaultSourceRoot(const fs::path& staged) {
    // "x/" has an empty file name: its parent path is "x".
    fs::path normal = fs::absolute(staged).lexically_normal();
    if (!normal.has_filename()) normal = normal.parent_path();
    return std::string(kDefaultSourceParent) + "\\" + normal.filename().string();
}

CheckResult CheckStaged(const fs::path& staged, const CheckOptions& options) {
    return Checker(staged, options).Run();
}

}  // namespace updater::kit
