#include "fakes/fake_platform.h"

#include <iconv.h>
#include <openssl/evp.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "rules/cp932.h"
#include "rules/path.h"
#include "rules/registry_key.h"
#include "rules/text.h"
#include "rules/texts.h"
#include "seam/ansi_text.h"
#include "seam/copying.h"
#include "seam/errors.h"
#include "seam/files.h"
#include "seam/message_box.h"
#include "seam/process.h"
#include "seam/progress_window.h"
#include "seam/registry.h"
#include "seam/signature.h"
#include "seam/update_lock.h"
#include "seam/version_info.h"

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

using fake::FakeWindows;

namespace {

FakeWindows& World() { return FakeWindows::Current(); }

}  // namespace

std::string GetExecutablePath() { return World().executablePath; }
std::optional<std::string> GetCurrentFolder() { return World().currentFolder; }

bool SetCurrentFolder(const std::string& path) {
    if (path.empty() || !World().FolderExists(path)) return false;
    World().currentFolder = path;
    World().events.push_back("cd " + path);
    return true;
}

std::string UpperCaseAnsi(const std::string& text) { return UpperCaseAscii(text); }

std::optional<std::string> GetSpecialFolder(SpecialFolder folder) {
    std::string path = World().SpecialFolderPath(folder);
    if (path.empty()) return std::nullopt;
    return path;
}

std::optional<std::string> ReadRegistryString(const std::string& keyPath, const std::string& name) {
    ++World().registryOpens;
    const auto* values = World().RegistryKeyValues(UpperCaseAscii(RegistryKeyName(keyPath)));
    if (values == nullptr) return std::nullopt;
    const auto found = values->find(name);
    if (found == values->end()) return std::nullopt;
    const fake::RegistryValue& value = found->second;
    const bool isText = value.type == fake::kRegSz || value.type == fake::kRegExpandSz;
    const std::size_t size = value.data.size() + (isText ? 1 : 0);
    if (size == 0) return std::nullopt;
    if (!isText) throw PlatformError(kRegistryError, FormatText(texts::kRegistryWrongType, {name}));
    return value.data.substr(0, value.data.find('\0'));
}

EntryKind GetEntryKind(const std::string& path) {
    if (World().EntryKindFails(path)) return EntryKind::kMissing;
    const FakeWindows::Entry* entry = World().FindEntry(path);
    if (entry == nullptr) return EntryKind::kMissing;
    return entry->folder ? EntryKind::kFolder : EntryKind::kFile;
}

bool FileExists(const std::string& path) {
    const fake::FakeFile* file = World().FindFile(path);
    return file != nullptr && file->year >= 1980 && file->year <= 2107;
}

FolderListing ListFolder(const std::string& folder) { return World().List(folder); }

void PrepareVersionReading() {
    if (World().versionReadingFails())
        throw PlatformError(kLibraryLoadError, FormatText(texts::kCannotLoadLibrary, {"version.dll", "not found"}));
}

std::optional<std::string> ReadJapaneseFileVersion(const std::string& path) {
    const fake::FakeFile* file = World().FindFile(path);
    return file == nullptr ? std::nullopt : file->japaneseFileVersion;
}

struct CopySessionState {
    std::vector<std::string> heldFiles;  // in the order they were held
};

void CopySessionCloser::operator()(CopySessionState* session) const {
    for (const std::string& path : session->heldFiles) World().events.push_back("release " + path);
    std::default_delete<CopySessionState>()(session);
}

CopySession BeginCopies(const CopyRoots& roots, bool quiet) {
    World().copiesQuiet = quiet;
    return CopySession(roots, CopySessionOwner(std::make_unique<CopySessionState>().release()));
}

FolderListing ListPayloadFolder(CopySession&, const std::string& folder) { return World().List(folder); }

bool CopyFileOver(CopySession&, const std::string& source, const std::string& destination) {
    FakeWindows& world = World();
    ++world.copyCount;
    if (world.recordCopies) world.events.push_back("copy " + source + " -> " + destination);
    if (world.CopyRaises(destination)) throw PlatformError("EFakeError", "copy raised");
    if (world.CopyFails(destination)) return false;
    const fake::FakeFile* file = world.FindFile(source);
    if (file == nullptr) return false;
    world.AddFile(destination, *file);
    return true;
}

std::optional<std::string> FullPathName(const std::string& path) {
    std::string full = World().FullPath(path);
    if (full.empty()) return std::nullopt;
    return full;
}

bool SaveTextFile(const std::string& parent, const std::string& folderName, const std::string& fileName,
                  const TextList& lines) {
    FakeWindows& world = World();
    const std::string folder = JoinPath(parent, folderName);
    if (!world.FolderExists(folder)) return false;
    if (world.saveShortWrite()) throw PlatformError(kStreamWriteError, texts::kStreamWriteError);
    fake::FakeFile file;
    file.content = TextFileBytes(lines);
    const std::string path = JoinPath(folder, fileName);
    world.AddFile(path, std::move(file));
    world.events.push_back("save " + path);
    return true;
}

void ShowMessageBox(DialogKind kind, const std::string& text) {
    static const char* const names[] = {"warning", "error", "information"};
    World().events.push_back(std::string("box ") + names[static_cast<int>(kind)] + ": " + text);
}

void ProcessPendingMessages() { World().events.push_back("pump"); }

// ---- the update lock

struct UpdateLockState {};

void UpdateLockReleaser::operator()(UpdateLockState* lock) const {
    World().events.push_back("lock released");
    std::default_delete<UpdateLockState>()(lock);
}

// No other run holds it: the end-to-end tests show runs that meet.
LockAttempt TryTakeUpdateLock(UpdateLock& lock) {
    World().events.push_back(World().updateLockFails ? "lock failed" : "lock taken");
    if (World().updateLockFails) return LockAttempt::kFailed;
    lock.reset(std::make_unique<UpdateLockState>().release());
    return LockAttempt::kTaken;
}

LockAttempt WaitForUpdateLock(UpdateLock&) { return LockAttempt::kFailed; }

// ---- the progress window

struct ProgressWindowHandle {};

void ProgressWindowDestroyer::operator()(ProgressWindowHandle* window) const {
    World().events.push_back("window destroy");
    std::default_delete<ProgressWindowHandle>()(window);
}

ProgressWindow CreateProgressWindow() {
    World().events.push_back("window create");
    return ProgressWindow(std::make_unique<ProgressWindowHandle>().release());
}

void SetProgressText(ProgressWindow&, const std::string& text) { World().events.push_back("window text " + text); }
void ShowProgressWindow(ProgressWindow&) {
    World().events.push_back("window show");
    World().ProgressShown();
}
void DestroyProgressWindow(ProgressWindow& window) { window.reset(); }

}  // namespace updater

// ---- signatures and hashes

namespace updater {

OwnSignature ReadOwnSignature() { return World().ownSignature; }

std::optional<std::string> VerifyDetachedSignature(const std::string& content, const std::string& signature) {
    const std::string prefix = "signed by ";
    const std::size_t end = signature.find('\n');
    if (signature.compare(0, prefix.size(), prefix) != 0 || end == std::string::npos ||
        signature.compare(end + 1, std::string::npos, content) != 0)
        return std::nullopt;
    return signature.substr(prefix.size(), end - prefix.size());
}

std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit) {
    const fake::FakeFile* file = World().FindFile(path);
    if (file == nullptr || file->content.size() > limit) return std::nullopt;
    return file->content;
}

// The C library's code page 932, without near matches: "//" options are not given.
std::optional<std::string> Utf8ToAnsiExact(const std::string& utf8) {
    const iconv_t converter = iconv_open("CP932", "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out(utf8.size() * 2 + 1, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* to = out.data();
    std::size_t outLeft = out.size();
    const std::size_t result = iconv(converter, &in, &inLeft, &to, &outLeft);
    iconv_close(converter);
    if (result != 0 || inLeft != 0) return std::nullopt;  // irreversible conversions count too
    out.resize(out.size() - outLeft);
    return out;
}

std::optional<FileDigest> HoldPayloadFile(CopySession& session, const std::string& path) {
    const fake::FakeFile* file = World().FindFile(path);
    if (file == nullptr) return std::nullopt;
    World().events.push_back("hold " + path);
    session->heldFiles.push_back(path);
    const std::string& content = file->content;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(content.data(), content.size(), digest, &length, EVP_sha256(), nullptr) != 1) return std::nullopt;
    static const char digits[] = "0123456789abcdef";
    FileDigest result{content.size(), {}};
    for (unsigned int i = 0; i < length; ++i) result.sha256.append(1, digits[digest[i] >> 4]).append(1, digits[digest[i] & 0xF]);
    return result;
}

}  // namespace updater
