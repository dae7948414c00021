// An in-memory Windows for the unit tests: registry, folders and files with
// version texts, the shell copy, the current folder, and a record of every
// box and window event. Tests fill it in through FakeWindows::Get().
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
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
    // Version resource string values by sub-block; none means no resource.
    std::map<std::string, std::string> versionValues;
    int year = 2024;  // local year of the last write
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
    void RemoveEntry(const std::string& path);

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
    std::set<std::string> unreadableValues;  // value names whose data read fails
    std::set<std::string> failingCopies;     // upper-case destinations the shell fails to copy
    std::set<std::string> raisingCopies;     // upper-case destinations whose copy raises an error
    std::set<std::string> unreadableAttributes;  // upper-case paths GetAttributes fails on
    bool saveFileShortWrite = false;
    int registryOpens = 0;
    std::vector<std::string> events;  // boxes, window steps, copies, saves, folder moves

    struct Entry {
        std::string name;  // as given
        std::int32_t attributes = 0;
        FakeFile file;
    };
    std::map<std::string, Entry> entries;                      // upper-case full path
    std::map<std::string, std::vector<std::string>> children;  // upper-case folder -> upper-case paths, in order
};

// Upper-case key of a path, without a trailing "\".
std::string PathKey(const std::string& path);

}  // namespace updater::fake
