#include "kit/diff.h"

#include <cstdio>
#include <optional>
#include <unordered_map>
#include <utility>

#include "kit/check.h"
#include "kit/files.h"
#include "kit/json.h"
#include "kit/readable_text.h"
#include "kit/release_tree.h"
#include "native/cp932_codec.h"
#include "native/file_source.h"
#include "rules/copy_rules.h"
#include "rules/manifest_format.h"
#include "rules/version_key.h"

namespace updater::kit {

namespace fs = std::filesystem;

namespace {

// One OLD release, as NEW's files are looked up in it the way Windows looks
// up a name: the exact spelling first, then one differing only in case.
class OldRelease {
public:
    OldRelease(ReleaseTree tree, std::string name)
        : tree_(std::move(tree)), name_(std::move(name)), matched_(tree_.files.size(), false) {
        for (std::size_t i = 0; i < tree_.files.size(); ++i) exact_.emplace(tree_.files[i].relative, i);
    }

    const ReleaseTree& tree() const { return tree_; }
    const std::string& name() const { return name_; }

    const ReleaseFile* Find(const std::string& relative) {
        auto found = exact_.find(relative);
        if (found == exact_.end()) {
            // Case keys cost a conversion a name: made only once a name is missed.
            if (byCase_.empty())
                for (std::size_t i = tree_.files.size(); i-- > 0;) byCase_[native::CaseKey(tree_.files[i].relative)] = i;
            const auto folded = byCase_.find(native::CaseKey(relative));
            if (folded == byCase_.end()) return nullptr;
            found = exact_.find(tree_.files[folded->second].relative);
        }
        matched_[found->second] = true;
        return &tree_.files[found->second];
    }

    // The files no NEW file matched, in walk order.
    std::vector<const ReleaseFile*> Unmatched() const {
        std::vector<const ReleaseFile*> files;
        for (std::size_t i = 0; i < tree_.files.size(); ++i)
            if (!matched_[i]) files.push_back(&tree_.files[i]);
        return files;
    }

private:
    ReleaseTree tree_;
    std::string name_;
    std::vector<bool> matched_;
    std::unordered_map<std::string, std::size_t> exact_;
    std::unordered_map<std::u16string, std::size_t> byCase_;
};

// The Japanese FileVersion the updater's version reading sees, read through
// the portable reader (only the parts of a PE file it needs).
std::optional<std::string> FileVersionOf(const fs::path& file, std::uint64_t size) {
    const std::string path = file.string();
    native::FileSource source(-1, nullptr, path.c_str(), size);
    return native::ReadJapaneseFileVersion(source);
}

std::string StampShown(const std::string& stamp) {
    return Cp932AsReadableUtf8(stamp) + " (key " + MakeVersionKey(stamp).Text() + ")";
}

class Differ {
public:
    explicit Differ(const DiffOptions& options) : next_(ReadReleaseTree(options.to)) {
        for (const fs::path& from : options.from) {
            std::string name = from.string();
            while (name.size() > 1 && name.back() == '/') name.pop_back();
            diff_.fromNames.push_back(name);
            olds_.emplace_back(ReadReleaseTree(from), name);
        }
    }

    ReleaseDiff Run() {
        for (const std::string& strange : next_.strangeEntries) Add(Severity::kError, strange, StrangeReason("NEW"));
        for (const OldRelease& old : olds_)
            for (const std::string& strange : old.tree().strangeEntries)
                Add(Severity::kError, strange, StrangeReason(old.name()));
        for (const ReleaseFile& file : next_.files) Compare(file);
        for (const OldRelease& old : olds_)
            for (const ReleaseFile* gone : old.Unmatched())
                Add(Severity::kWarning, gone->relative,
                    "in " + old.name() + " but not in NEW: the updater never removes a file, so it stays installed");
        diff_.findings.filesChecked = next_.files.size();
        return std::move(diff_);
    }

private:
    static std::string StrangeReason(const std::string& release) {
        return "in " + release + ", neither a file nor a folder (a link to a folder, a broken link, a device): "
               "nobody can say what it delivers";
    }

    void Add(Severity severity, const std::string& path, std::string reason) {
        diff_.findings.findings.push_back({severity, path, std::move(reason)});
    }

    void Compare(const ReleaseFile& file) {
        DiffedFile diffed{file.relative, file.size, false, std::vector<MachineState>(olds_.size()),
                          std::vector<std::string>(olds_.size())};
        std::vector<const ReleaseFile*> installed(olds_.size());
        std::vector<std::size_t> sameSize;
        for (std::size_t k = 0; k < olds_.size(); ++k) {
            const ReleaseFile* old = installed[k] = olds_[k].Find(file.relative);
            if (old == nullptr) {
                diffed.states[k] = MachineState::kAdded;
                continue;
            }
            if (old->relative != file.relative)
                Add(Severity::kWarning, file.relative,
                    "spelled " + old->relative + " in " + olds_[k].name() +
                        ": Windows keeps the installed spelling, whatever the payload's");
            if (old->device == file.device && old->inode == file.inode)
                diffed.states[k] = MachineState::kUnchanged;
            else if (old->size != file.size)
                diffed.states[k] = MachineState::kChanged;
            else
                sameSize.push_back(k);
        }
        if (!sameSize.empty()) {
            std::vector<fs::path> others;
            for (const std::size_t k : sameSize) others.push_back(olds_[k].tree().PathOf(*installed[k]));
            const std::vector<bool> same = SameContents(next_.PathOf(file), file.size, others);
            for (std::size_t i = 0; i < sameSize.size(); ++i)
                diffed.states[sameSize[i]] = same[i] ? MachineState::kUnchanged : MachineState::kChanged;
        }
        std::optional<std::optional<std::string>> newVersion;  // read once, when first needed
        for (std::size_t k = 0; k < olds_.size(); ++k) {
            if (diffed.states[k] != MachineState::kChanged) continue;
            if (!newVersion) newVersion = FileVersionOf(next_.PathOf(file), file.size);
            Decide(diffed, k, *newVersion, FileVersionOf(olds_[k].tree().PathOf(*installed[k]), installed[k]->size));
        }
        for (const MachineState state : diffed.states) diffed.inPayload |= state != MachineState::kUnchanged;
        if (diffed.inPayload && file.relative.find('/') == std::string::npos) {
            Add(Severity::kError, file.relative,
                "new or changed at NEW's top level: staged, it would lie beside updater.exe, which copies only "
                "the files of its sub-folders, so it can never be delivered");
            diffed.inPayload = false;
        }
        if (diffed.inPayload) {
            ++diff_.payloadFiles;
            diff_.payloadBytes += file.size;
        }
        diff_.newBytes += file.size;
        diff_.files.push_back(std::move(diffed));
    }

    // What the updater does on a machine with OLD k, where the file changed.
    void Decide(DiffedFile& diffed, std::size_t k, const std::optional<std::string>& newVersion,
                const std::optional<std::string>& oldVersion) {
        const std::string newStamp = StampOfFileVersion(newVersion), oldStamp = StampOfFileVersion(oldVersion);
        if (newVersion || oldVersion)
            diffed.stamps[k] = Cp932AsReadableUtf8(oldStamp) + " -> " + Cp932AsReadableUtf8(newStamp);
        if (!ShouldCopy(newStamp, oldStamp)) {
            diffed.states[k] = MachineState::kLeftAlone;
            Add(Severity::kError, diffed.relative,
                "changed, but a machine with " + olds_[k].name() + " keeps its copy: the installed FileVersion " +
                    StampShown(oldStamp) + " sorts after the new " + StampShown(newStamp) +
                    ", so the updater leaves the file alone");
        } else if (newVersion && oldVersion && *newVersion == *oldVersion) {
            Add(Severity::kWarning, diffed.relative,
                "bytes differ from " + olds_[k].name() + "'s, but both carry FileVersion " +
                    Cp932AsReadableUtf8(*newVersion) + ": nobody can tell the two builds apart");
        }
    }

    ReleaseTree next_;
    std::vector<OldRelease> olds_;
    ReleaseDiff diff_;
};

std::string Percent(std::uint64_t part, std::uint64_t whole) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / whole);
    return text;
}

}  // namespace

std::string_view MachineStateText(MachineState state) {
    switch (state) {
        case MachineState::kAdded: return "added";
        case MachineState::kChanged: return "changed";
        case MachineState::kUnchanged: return "unchanged";
        case MachineState::kLeftAlone: return "left alone";
    }
    return "?";
}

ReleaseDiff DiffReleases(const DiffOptions& options) { return Differ(options).Run(); }

void WritePayload(const DiffOptions& options, bool strict, ReleaseDiff& diff) {
    if (diff.findings.errors() > 0) return;
    const fs::path out = OutputFolder(options.out.string());
    StagingFolder staging(out);
    for (const DiffedFile& file : diff.files) {
        if (!file.inPayload) continue;
        const fs::path to = staging.path() / file.relative;
        fs::create_directories(to.parent_path());
        fs::copy_file(options.to / file.relative, to);
    }
    CheckOptions check;
    check.sourceRoot = DefaultSourceRoot(out);
    check.updaterToBeAdded = kUpdaterFileName;
    for (Finding& finding : CheckStaged(staging.path(), check).findings)
        diff.findings.findings.push_back(std::move(finding));
    if (!diff.findings.Passes(strict)) return;
    staging.MoveTo(out);
    diff.payloadWritten = true;
}

std::string DiffAsText(const ReleaseDiff& diff, bool strict) {
    std::string out;
    for (const DiffedFile& file : diff.files) {
        out += std::string(file.inPayload ? "payload" : "left out") + "\t" + file.relative;
        for (std::size_t k = 0; k < file.states.size(); ++k) {
            out += "\t" + diff.fromNames[k] + ": " + std::string(MachineStateText(file.states[k]));
            if (!file.stamps[k].empty()) out += " " + file.stamps[k];
        }
        out += "\n";
    }
    out += "\nNEW: " + std::to_string(diff.files.size()) + " files, " + std::to_string(diff.newBytes) +
           " bytes; payload: " + std::to_string(diff.payloadFiles) + " files, " + std::to_string(diff.payloadBytes) +
           " bytes; " + Percent(diff.newBytes - diff.payloadBytes, diff.newBytes) + " % of the bytes saved\n";
    out += FindingsAsText(diff.findings, strict);
    return out;
}

std::string DiffAsJson(const ReleaseDiff& diff, bool strict) {
    std::string members = "\"payloadWritten\": " + std::string(diff.payloadWritten ? "true" : "false") +
                          ", \"releases\": [";
    for (std::size_t k = 0; k < diff.fromNames.size(); ++k) members += (k ? ", " : "") + JsonQuote(diff.fromNames[k]);
    members += "], \"summary\": {\"newFiles\": " + std::to_string(diff.files.size()) +
               ", \"newBytes\": " + std::to_string(diff.newBytes) +
               ", \"payloadFiles\": " + std::to_string(diff.payloadFiles) +
               ", \"payloadBytes\": " + std::to_string(diff.payloadBytes) + "}, \"files\": [";
    for (std::size_t i = 0; i < diff.files.size(); ++i) {
        const DiffedFile& file = diff.files[i];
        members += std::string(i ? "," : "") + "\n  {\"path\": " + JsonQuote(file.relative) +
                   ", \"size\": " + std::to_string(file.size) +
                   ", \"inPayload\": " + (file.inPayload ? "true" : "false") + ", \"machines\": [";
        for (std::size_t k = 0; k < file.states.size(); ++k)
            members += std::string(k ? ", " : "") + "{\"release\": " + JsonQuote(diff.fromNames[k]) +
                       ", \"state\": " + JsonQuote(MachineStateText(file.states[k])) +
                       ", \"versions\": " + (file.stamps[k].empty() ? "null" : JsonQuote(file.stamps[k])) + "}";
        members += "]}";
    }
    members += diff.files.empty() ? "], " : "\n], ";
    return FindingsAsJson(diff.findings, strict, members);
}

}  // namespace updater::kit
