// An in-memory Windows for the unit tests: registry, folders and files with
// version texts, the shell copy, the current folder, and a record of every
// box and window event. Tests fill it in through FakeWindows::Get().
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>
#include <string>
#include <vector>

#include "platform/platform.h"

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
    // The version resource as the stand-in stores it: sub-block NUL value NUL,
    // repeated; empty means the file has none.
    std::string versionData;
    int year = 2024;  // local year of the last write

    void SetVersionValue(const std::string& subBlock, const std::string& value) {
        versionData += subBlock + '\0' + value + '\0';
    }
};

class FakeWindows {
public:
    static FakeWindows& Get();
    void Reset();

    // ---- set-up, in the words of a scenario
    void SetCommandLine(const std::string& line) { commandLine = line; }
    void SetRegistryValue(const std::string& key, const std::string& name, RegistryValue value);
    void AddFolder(const std::string& path, std::int32_t attributes = kAttributeFolder);
    void AddFile(const std::string& path, FakeFile file = {}, std::int32_t attributes = 0x20);
    // A file whose Japanese version table holds `version` as FileVersion.
    void AddVersionedFile(const std::string& path, const std::string& version,
                          const std::string& content = "");
    // A file without a version resource.
    void AddDataFile(const std::string& path, const std::string& content) {
        FakeFile file;
        file.content = content;
        AddFile(path, std::move(file));
    }

    // ---- inspection
    const FakeFile* FindFile(const std::string& path) const;
    bool FolderExists(const std::string& path) const;
    std::vector<std::string> Events(const std::string& prefix = "") const;

    // ---- the world
    std::string commandLine = "updater.exe";
    std::string executablePath = "C:\\Stage\\updater.exe";
    std::string currentFolder = "C:\\Start";
    std::map<SpecialFolder, std::string> specialFolders;
    std::map<std::string, std::map<std::string, RegistryValue>> registry;  // upper-case key path
    std::set<std::string> failingCopies;     // upper-case destinations the shell fails to copy
    std::set<std::string> raisingCopies;     // upper-case destinations whose copy raises an error
    std::set<std::string> unreadableAttributes;  // upper-case paths GetAttributes fails on
    bool saveFileShortWrite = false;
    int registryOpens = 0;
    bool recordCopies = true;  // a copy event per shell copy (off for timing runs)
    int copyCount = 0;
    std::vector<std::string> events;  // boxes, window steps, copies, saves, folder moves

    struct Entry {
        std::string name;  // as given
        std::int32_t attributes = 0;
        FakeFile file;
    };
    // Keys are PathKey()s: any case of a path finds its entry.
    std::unordered_map<std::string, Entry> entries;
    std::unordered_map<std::string, std::vector<std::string>> children;  // in search order

    // The entry at `path`, or nullptr.
    const Entry* FindEntry(const std::string& path) const;

private:
    struct LookupCache {
        bool valid = false;
        std::string path;
        const Entry* entry = nullptr;
    };
    mutable LookupCache lookupCache;
    mutable std::string lookupKey;  // the last FindEntry; any change to the entries clears it
};

// Upper-case key of a path, without a trailing "\".
std::string PathKey(const std::string& path);

}  // namespace updater::fake
