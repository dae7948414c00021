// The in-memory Windows itself: its files, folders, links, registry and events.
// What it answers to each seam header lies in fake_<header>.cpp.
#include "fakes/fake_platform.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "rules/cp932.h"
#include "rules/path.h"
#include "rules/registry_key.h"
#include "rules/text.h"
#include "seam/errors.h"
#include "seam/files.h"
#include "seam/process.h"
#include "seam/signature.h"

namespace updater {

namespace fake {

namespace {

// The stand-in the platform calls use, while it lives.
FakeWindows* current = nullptr;

}  // namespace

FakeWindows::FakeWindows() {
    if (current != nullptr) throw std::logic_error("one in-memory Windows at a time");
    current = this;
}

FakeWindows::~FakeWindows() { current = nullptr; }

FakeWindows& FakeWindows::Current() {
    if (current == nullptr) throw std::logic_error("a platform call outside an in-memory Windows");
    return *current;
}

namespace {

// A path's key in place: upper-cased letters, no trailing "\".
void MakePathKey(std::string& key) {
    UpperCaseAsciiInPlace(key);
    if (EndsWithBackslash(key)) key.pop_back();
}

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

std::string PathKey(const std::string& path) {
    std::string key = path;
    MakePathKey(key);
    return key;
}

// The key with every link on the way replaced by the folder it leads to.
std::string FakeWindows::Resolve(const std::string& key) const {
    std::string resolved;
    std::size_t start = 0;
    for (std::size_t pos = 0; pos <= key.size(); pos += pos < key.size() ? CharLength(key, pos) : 1) {
        if (pos < key.size() && key[pos] != '\\') continue;
        if (start > 0) resolved += '\\';
        resolved.append(key, start, pos - start);
        const auto found = entries_.find(resolved);
        if (found != entries_.end() && !found->second.linkTarget.empty()) resolved = found->second.linkTarget;
        start = pos + 1;
    }
    return resolved;
}

const FakeWindows::Entry* FakeWindows::FindEntry(const std::string& path) const {
    // The version reads ask for the same path several times in a row.
    if (!lookupCache_.valid || lookupCache_.path != path) {
        lookupKey_.assign(path);  // reused: a lookup allocates nothing once warm
        MakePathKey(lookupKey_);
        if (hasLinks_) lookupKey_ = Resolve(lookupKey_);
        const auto found = entries_.find(lookupKey_);
        lookupCache_ = {true, path, found == entries_.end() ? nullptr : &found->second};
    }
    return lookupCache_.entry;
}

void FakeWindows::SetRegistryValue(const std::string& key, const std::string& name, RegistryValue value) {
    registry_[UpperCaseAscii(RegistryKeyName(key))][name] = std::move(value);
}

std::string FakeWindows::SpecialFolderPath(SpecialFolder folder) const {
    const auto found = specialFolders_.find(folder);
    return found == specialFolders_.end() ? std::string() : found->second;
}

const std::map<std::string, RegistryValue>* FakeWindows::RegistryKeyValues(const std::string& upperPath) const {
    const auto found = registry_.find(upperPath);
    return found == registry_.end() ? nullptr : &found->second;
}

void FakeWindows::AddFolder(const std::string& path) {
    lookupCache_.valid = false;
    const std::string key = PathKey(path);
    if (entries_.count(key)) return;
    const std::string parent = ParentKey(key);
    if (!parent.empty()) {
        // The parent keeps the case it is given in, as its name.
        std::string trimmed = path;
        if (EndsWithBackslash(trimmed)) trimmed.pop_back();
        AddFolder(trimmed.substr(0, LastSeparator(trimmed, false)));
        children_[parent].push_back(key);
    }
    entries_[key] = Entry{NameOf(path), true, nextId_++, {}, {}};
}

void FakeWindows::AddFile(const std::string& path, FakeFile file) {
    lookupCache_.valid = false;
    const std::string key = PathKey(path);
    AddFolder(path.substr(0, LastSeparator(path, false)));
    const auto existing = entries_.find(key);
    if (existing == entries_.end()) {
        children_[ParentKey(key)].push_back(key);
        entries_[key] = Entry{NameOf(path), false, nextId_++, std::move(file), {}};
    } else {
        existing->second.name = NameOf(path);  // replaced in place: same identity
        existing->second.file = std::move(file);
    }
}

void FakeWindows::AddVersionedFile(const std::string& path, const std::string& version,
                                   const std::string& content) {
    AddFile(path, FakeFile{content, version});
}

void FakeWindows::AddDataFile(const std::string& path, const std::string& content) {
    AddFile(path, FakeFile{content, std::nullopt});
}

void FakeWindows::AddFolderLink(const std::string& path, const std::string& target, bool reported) {
    AddFolder(path);
    Entry& link = entries_.at(PathKey(path));
    link.linkTarget = Resolve(PathKey(target));
    link.linkReported = reported;
    hasLinks_ = true;
}

void FakeWindows::FailListing(const std::string& folder) { failingListings_.insert(PathKey(folder)); }
void FakeWindows::FailEntryKind(const std::string& path) { failingKinds_.insert(PathKey(path)); }
void FakeWindows::FailCopy(const std::string& destination) { failingCopies_.insert(PathKey(destination)); }
void FakeWindows::RaiseOnCopy(const std::string& destination) { raisingCopies_.insert(PathKey(destination)); }

bool FakeWindows::EntryKindFails(const std::string& path) const {
    return !failingKinds_.empty() && failingKinds_.count(PathKey(path));
}
bool FakeWindows::CopyFails(const std::string& destination) const {
    return !failingCopies_.empty() && failingCopies_.count(PathKey(destination));
}
bool FakeWindows::CopyRaises(const std::string& destination) const {
    return !raisingCopies_.empty() && raisingCopies_.count(PathKey(destination));
}

FolderListing FakeWindows::List(const std::string& folder) {
    FolderListing listing;
    const std::string key = PathKey(folder);
    if (failingListings_.count(key)) {
        listing.ok = false;
        return listing;
    }
    const std::string resolved = hasLinks_ ? Resolve(key) : key;
    const auto found = entries_.find(resolved);
    if (found == entries_.end() || !found->second.folder) {
        listing.ok = false;
        return listing;
    }
    listing.identity = {1, found->second.id};
    const std::vector<std::string>& keys = children_[resolved];
    listing.entries.reserve(keys.size());
    for (const std::string& child : keys) {
        const Entry& entry = entries_.at(child);
        listing.entries.push_back({entry.name, entry.folder, true, !entry.linkTarget.empty() && entry.linkReported});
    }
    return listing;
}

std::string FakeWindows::FullPath(const std::string& path) const {
    if (const auto given = fullPaths_.find(path); given != fullPaths_.end()) return given->second;
    return CollapseDotSegments(IsAbsoluteFolderPath(path) ? path : JoinPath(currentFolder, path));
}

const FakeFile* FakeWindows::FindFile(const std::string& path) const {
    const Entry* entry = FindEntry(path);
    return entry == nullptr || entry->folder ? nullptr : &entry->file;
}

bool FakeWindows::FolderExists(const std::string& path) const {
    const Entry* entry = FindEntry(path);
    return entry != nullptr && entry->folder;
}

std::vector<std::string> FakeWindows::Events(const std::string& prefix) const {
    std::vector<std::string> matching;
    for (const std::string& event : events)
        if (event.compare(0, prefix.size(), prefix) == 0) matching.push_back(event);
    return matching;
}

std::string FakeWindows::DetachedSignature(const std::string& certificate, const std::string& content) {
    return "signed by " + certificate + "\n" + content;
}

void FakeWindows::ProgressShown() {
    std::function<void()> change = std::move(onProgressShown_);
    onProgressShown_ = nullptr;
    if (change) change();
}

void FakeWindows::RemoveFile(const std::string& path) {
    lookupCache_.valid = false;
    const std::string key = PathKey(path);
    entries_.erase(key);
    std::vector<std::string>& siblings = children_[ParentKey(key)];
    siblings.erase(std::remove(siblings.begin(), siblings.end(), key), siblings.end());
}

}  // namespace fake

}  // namespace updater
