// An in-memory Windows for the unit tests: registry, folders (links
// included) and files with version texts, the copy, the current folder, and
// a record of every box and window event. A test makes one FakeWindows,
// which the platform calls use while it lives, fills it in and makes it fail
// through its Fail... methods; nothing of it outlives it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "seam/files.h"
#include "seam/process.h"
#include "seam/signature.h"

namespace updater::fake {

inline constexpr int kRegSz = 1;
inline constexpr int kRegExpandSz = 2;
inline constexpr int kRegBinary = 3;
inline constexpr int kRegDword = 4;

struct RegistryValue {
    int type = kRegSz;
    std::string data;
};

struct FakeFile {
    std::string content;
    std::optional<std::string> japaneseFileVersion;  // nothing: no Japanese FileVersion
    int year = 2024;                                 // local year of the last write
};

class FakeWindows {
public:
    // Becomes the Windows the platform calls use (one at a time), until it is destroyed.
    FakeWindows();
    ~FakeWindows();
    FakeWindows(const FakeWindows&) = delete;
    FakeWindows& operator=(const FakeWindows&) = delete;

    // The living stand-in; raises std::logic_error when there is none.
    static FakeWindows& Current();

    // ---- set-up, in the words of a scenario
    void SetRegistryValue(const std::string& key, const std::string& name, RegistryValue value);
    // "" makes the folder one that cannot be determined.
    void SetSpecialFolder(SpecialFolder folder, const std::string& path) { specialFolders_[folder] = path; }
    void AddFolder(const std::string& path);
    void AddFile(const std::string& path, FakeFile file = {});
    // A file whose Japanese version table holds `version` as FileVersion.
    void AddVersionedFile(const std::string& path, const std::string& version, const std::string& content = "");
    // A file without a version resource.
    void AddDataFile(const std::string& path, const std::string& content);
    // A folder link (a junction or symbolic link) at `path` leading to the
    // existing folder `target`: paths through it reach the target's entries.
    // Its folder's listing reports it as a link unless `reported` is false
    // (a link the system does not show as one).
    void AddFolderLink(const std::string& path, const std::string& target, bool reported = true);

    // ---- failures
    // Listing `folder` fails: it cannot be read whole.
    void FailListing(const std::string& folder);
    // What `path` is cannot be read: it counts as missing.
    void FailEntryKind(const std::string& path);
    // The copy to `destination` does not happen; RaiseOnCopy makes it raise.
    void FailCopy(const std::string& destination);
    void RaiseOnCopy(const std::string& destination);
    // Version texts cannot be read at all (the library cannot be loaded).
    void FailVersionReading() { versionReadingFails_ = true; }
    // Windows resolves the full path name of `path` to `fullPath`.
    void ResolveFullPathAs(const std::string& path, const std::string& fullPath) { fullPaths_[path] = fullPath; }
    // Saving a text file stores fewer bytes than asked.
    void FailSaveWithShortWrite() { saveShortWrite_ = true; }

    // ---- signatures
    // The running updater's own signature and, when signed, the digest read
    // with it (unsigned by default).
    OwnSignature ownSignature;
    // A detached signature of `content` by `certificate`, as the stand-in's
    // VerifyDetachedSignature accepts it.
    static std::string DetachedSignature(const std::string& certificate, const std::string& content);
    // Runs `change` once, as the progress window is shown: the update's
    // folder changing between the trust check and the copy.
    void WhenProgressShows(std::function<void()> change) { onProgressShown_ = std::move(change); }
    void ProgressShown();
    // Removes the file at `path`, whoever holds it.
    void RemoveFile(const std::string& path);

    // ---- inspection
    const FakeFile* FindFile(const std::string& path) const;
    bool FolderExists(const std::string& path) const;
    std::vector<std::string> Events(const std::string& prefix = "") const;

    // ---- what the platform calls see and record
    std::string executablePath = "C:\\Stage\\updater.exe";
    std::string currentFolder = "C:\\Start";
    int registryOpens = 0;  // one a value read: each read opens its key afresh
    bool recordCopies = true;  // a copy event per copy (off for timing runs)
    int copyCount = 0;
    bool updateLockFails = false;  // the machine's update lock cannot be asked for
    bool copiesQuiet = false;  // what the last BeginCopies was told
    std::vector<std::string> events;  // boxes, window steps, copies, saves, folder moves

    // ---- used by the stand-in's platform calls
    struct Entry {
        std::string name;  // as given
        bool folder = false;
        std::uint64_t id = 0;  // file identity within the volume
        FakeFile file;
        std::string linkTarget;  // key of the folder a link leads to; "" for no link
        bool linkReported = true;
    };
    std::string SpecialFolderPath(SpecialFolder folder) const;
    const std::map<std::string, RegistryValue>* RegistryKeyValues(const std::string& upperPath) const;
    // The entry at `path`, links followed; nullptr when there is none.
    const Entry* FindEntry(const std::string& path) const;
    FolderListing List(const std::string& folder);
    bool EntryKindFails(const std::string& path) const;
    bool CopyFails(const std::string& destination) const;
    bool CopyRaises(const std::string& destination) const;
    bool versionReadingFails() const { return versionReadingFails_; }
    bool saveShortWrite() const { return saveShortWrite_; }
    std::string FullPath(const std::string& path) const;

private:
    std::string Resolve(const std::string& key) const;

    std::map<SpecialFolder, std::string> specialFolders_;
    std::map<std::string, std::map<std::string, RegistryValue>> registry_;  // upper-case key path
    // Keys are PathKey()s: any case of a path finds its entry.
    std::unordered_map<std::string, Entry> entries_;
    std::unordered_map<std::string, std::vector<std::string>> children_;  // in search order
    std::uint64_t nextId_ = 1;
    bool hasLinks_ = false;
    std::set<std::string> failingListings_;
    std::set<std::string> failingKinds_;
    std::set<std::string> failingCopies_;
    std::set<std::string> raisingCopies_;
    bool versionReadingFails_ = false;
    bool saveShortWrite_ = false;
    std::map<std::string, std::string> fullPaths_;
    std::function<void()> onProgressShown_;

    struct LookupCache {
        bool valid = false;
        std::string path;
        const Entry* entry = nullptr;
    };
    mutable LookupCache lookupCache_;
    mutable std::string lookupKey_;  // the last FindEntry; any change to the entries clears the cache
};

// Upper-case key of a path, without a trailing "\".
std::string PathKey(const std::string& path);

}  // namespace updater::fake
