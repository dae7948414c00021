#include "support/fake_platform.h"

#include <algorithm>
#include <string_view>

#include "platform/command_line.h"
#include "update/text.h"
#include "update/texts.h"
#include "window/progress_window.h"

namespace updater {

namespace fake {

FakeWindows& FakeWindows::Get() {
    static FakeWindows world;
    return world;
}

void FakeWindows::Reset() { *this = FakeWindows(); }

namespace {

// A path's key in place: upper-cased letters, no trailing "\".
void MakePathKey(std::string& key) {
    UpperCaseAsciiInPlace(key);
    if (EndsWithBackslash(key)) key.pop_back();
}

}  // namespace

std::string PathKey(const std::string& path) {
    std::string key = path;
    MakePathKey(key);
    return key;
}

const FakeWindows::Entry* FakeWindows::FindEntry(const std::string& path) const {
    // The version reads ask for the same path several times in a row.
    if (!lookupCache.valid || lookupCache.path != path) {
        lookupKey.assign(path);  // reused: a lookup allocates nothing once warm
        MakePathKey(lookupKey);
        const auto found = entries.find(lookupKey);
        lookupCache = {true, path, found == entries.end() ? nullptr : &found->second};
    }
    return lookupCache.entry;
}

namespace {

std::string ParentKey(const std::string& key) {
    const std::size_t last = LastSeparator(key, false);
    return last == std::string::npos ? std::string() : key.substr(0, last);
}

std::string NameOf(const std::string& path) {
    std::string trimmed = path;
    if (EndsWithBackslash(trimmed)) trimmed.pop_back();
    const std::size_t last = LastSeparator(trimmed, false);
    return last == std::string::npos ? trimmed : trimmed.substr(last + 1);
}

}  // namespace

void FakeWindows::SetRegistryValue(const std::string& key, const std::string& name, RegistryValue value) {
    std::string path = key;
    if (!path.empty() && path.front() == '\\') path.erase(0, 1);
    registry[UpperCaseAscii(path)][name] = std::move(value);
}

void FakeWindows::AddFolder(const std::string& path, std::int32_t attributes) {
    lookupCache.valid = false;
    const std::string key = PathKey(path);
    if (entries.count(key)) return;
    const std::string parent = ParentKey(key);
    if (!parent.empty()) {
        AddFolder(parent);
        children[parent].push_back(key);
    }
    entries[key] = Entry{NameOf(path), attributes, {}};
}

void FakeWindows::AddFile(const std::string& path, FakeFile file, std::int32_t attributes) {
    lookupCache.valid = false;
    const std::string key = PathKey(path);
    const std::string parent = ParentKey(key);
    AddFolder(path.substr(0, LastSeparator(path, false)));
    if (!entries.count(key)) children[parent].push_back(key);
    entries[key] = Entry{NameOf(path), attributes, std::move(file)};
}

void FakeWindows::AddVersionedFile(const std::string& path, const std::string& version,
                                   const std::string& content) {
    FakeFile file;
    file.content = content;
    file.SetVersionValue(texts::kJapaneseFileVersion, version);
    AddFile(path, std::move(file));
}

const FakeFile* FakeWindows::FindFile(const std::string& path) const {
    const Entry* entry = FindEntry(path);
    return entry == nullptr || (entry->attributes & kAttributeFolder) ? nullptr : &entry->file;
}

bool FakeWindows::FolderExists(const std::string& path) const {
    const Entry* entry = FindEntry(path);
    return entry != nullptr && (entry->attributes & kAttributeFolder);
}

std::vector<std::string> FakeWindows::Events(const std::string& prefix) const {
    std::vector<std::string> matching;
    for (const std::string& event : events)
        if (event.compare(0, prefix.size(), prefix) == 0) matching.push_back(event);
    return matching;
}

}  // namespace fake

using fake::FakeWindows;

namespace {

FakeWindows& World() { return FakeWindows::Get(); }

}  // namespace

struct RegistryKeyHandle {
    std::string path;
};

void RegistryKeyCloser::operator()(RegistryKeyHandle* key) const { delete key; }

std::string GetArgument(int n) { return ArgumentFromCommandLine(World().commandLine, n); }
std::string GetExecutablePath() { return World().executablePath; }
std::string GetCurrentFolder() { return World().currentFolder; }

bool SetCurrentFolder(const std::string& path) {
    if (path.empty() || !World().FolderExists(path)) return false;
    World().currentFolder = path;
    World().events.push_back("cd " + path);
    return true;
}

std::string UpperCaseAnsi(const std::string& text) { return UpperCaseAscii(text); }

std::string GetSpecialFolder(SpecialFolder folder) {
    const auto found = World().specialFolders.find(folder);
    return found == World().specialFolders.end() ? std::string() : found->second;
}

RegistryKey OpenRegistryKey(const std::string& path) {
    ++World().registryOpens;
    std::string name = path;
    if (!name.empty() && name.front() == '\\') name.erase(0, 1);
    name = UpperCaseAscii(name);
    if (!World().registry.count(name)) return RegistryKey();
    return RegistryKey(new RegistryKeyHandle{name});
}

std::string ReadRegistryString(const RegistryKey& key, const std::string& name) {
    if (!key) return "";
    const auto& values = World().registry[key->path];
    const auto found = values.find(name);
    if (found == values.end()) return "";
    const fake::RegistryValue& value = found->second;
    const bool isText = value.type == fake::kRegSz || value.type == fake::kRegExpandSz;
    const std::size_t size = value.data.size() + (isText ? 1 : 0);
    if (size == 0) return "";
    if (!isText) throw PlatformError(kRegistryError, FormatText(texts::kRegistryWrongType, {name}));
    return value.data.substr(0, value.data.find('\0'));
}

std::vector<FoundEntry> FindEntries(const std::string& pattern, std::uint32_t) {
    std::vector<FoundEntry> found;
    const std::string folder = fake::PathKey(pattern.substr(0, LastSeparator(pattern, false)));
    if (!World().FolderExists(folder)) return found;
    found.reserve(World().children[folder].size() + 2);
    found.push_back({".", kAttributeFolder});
    found.push_back({"..", kAttributeFolder});
    for (const std::string& key : World().children[folder]) {
        const auto& entry = World().entries.at(key);
        found.push_back({entry.name, entry.attributes});
    }
    return found;
}

std::int32_t GetAttributes(const std::string& path) {
    if (!World().unreadableAttributes.empty() && World().unreadableAttributes.count(fake::PathKey(path)))
        return kInvalidAttributes;
    const FakeWindows::Entry* entry = World().FindEntry(path);
    return entry == nullptr ? kInvalidAttributes : entry->attributes;
}

bool FileExists(const std::string& path) {
    const fake::FakeFile* file = World().FindFile(path);
    return file != nullptr && file->year >= 1980 && file->year <= 2107;
}

std::uint32_t GetVersionInfoSize(const std::string& path) {
    const fake::FakeFile* file = World().FindFile(path);
    return file == nullptr ? 0 : static_cast<std::uint32_t>(file->versionData.size());
}

bool GetVersionInfo(const std::string& path, std::vector<std::uint8_t>& buffer) {
    const fake::FakeFile* file = World().FindFile(path);
    if (file == nullptr) return false;
    const std::string& data = file->versionData;
    std::copy_n(data.begin(), std::min(data.size(), buffer.size()), buffer.begin());
    return true;
}

std::optional<std::string> QueryVersionValue(const std::vector<std::uint8_t>& buffer,
                                             const std::string& subBlock) {
    const std::string block = !subBlock.empty() && subBlock.front() == '\\' ? subBlock.substr(1) : subBlock;
    const std::string_view data(reinterpret_cast<const char*>(buffer.data()), buffer.size());
    for (std::size_t pos = 0; pos < data.size();) {
        const std::size_t keyEnd = data.find('\0', pos);
        if (keyEnd == std::string::npos) break;
        const std::size_t valueEnd = data.find('\0', keyEnd + 1);
        if (valueEnd == std::string::npos) break;
        if (data.substr(pos, keyEnd - pos) == block) return std::string(data.substr(keyEnd + 1, valueEnd - keyEnd - 1));
        pos = valueEnd + 1;
    }
    return std::nullopt;
}

int ShellCopyFile(WindowHandle owner, const std::string& source, const std::string& destination,
                  std::uint16_t flags) {
    FakeWindows& world = World();
    ++world.copyCount;
    if (world.recordCopies)
        world.events.push_back("copy " + source + " -> " + destination + " owner=" +
                               (owner == ApplicationWindow() ? "app" : "other") + " flags=" + std::to_string(flags));
    if (!world.raisingCopies.empty() && world.raisingCopies.count(fake::PathKey(destination)))
        throw PlatformError("EFakeError", "copy raised");
    if (!world.failingCopies.empty() && world.failingCopies.count(fake::PathKey(destination))) return 0x4C7;
    const fake::FakeFile* file = world.FindFile(source);
    if (file == nullptr) return 0x402;
    world.AddFile(destination, *file);
    return 0;
}

void SaveTextFile(const std::string& path, const TextList& lines) {
    FakeWindows& world = World();
    const std::string folder = path.substr(0, LastSeparator(path, false));
    if (!world.FolderExists(folder))
        throw PlatformError(kFileCreateError, FormatText(texts::kCannotCreateFile, {path, "not found"}));
    if (world.saveFileShortWrite) throw PlatformError(kStreamWriteError, texts::kStreamWriteError);
    fake::FakeFile file;
    for (const std::string& line : lines) file.content += line + "\r\n";
    world.AddFile(path, std::move(file));
    world.events.push_back("save " + path);
}

WindowHandle ApplicationWindow() {
    static int window;
    return &window;
}

void ShowMessageBox(DialogKind kind, const std::string& text) {
    static const char* const names[] = {"warning", "error", "information"};
    World().events.push_back(std::string("box ") + names[static_cast<int>(kind)] + ": " + text);
}

void ProcessPendingMessages() { World().events.push_back("pump"); }

// ---- the progress window

struct ProgressWindowHandle {
    bool destroyed = false;
};

void ProgressWindowDestroyer::operator()(ProgressWindowHandle* window) const {
    World().events.push_back("window destroy");
    delete window;
}

ProgressWindow CreateProgressWindow() {
    World().events.push_back("window create");
    return ProgressWindow(new ProgressWindowHandle);
}

void SetProgressText(ProgressWindow&, const std::string& text) { World().events.push_back("window text " + text); }
void ShowProgressWindow(ProgressWindow&) { World().events.push_back("window show"); }
void DestroyProgressWindow(ProgressWindow& window) { window.reset(); }

}  // namespace updater
