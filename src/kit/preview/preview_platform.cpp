// The seam's functions over the living preview (preview_world.h): questions
// about files, folders and the registry are answered from its folders, and
// copies, the saved log, boxes and the progress window are only recorded.
#include <memory>
#include <optional>
#include <string>

#include "kit/preview/preview_world.h"
#include "rules/cp932.h"
#include "rules/manifest_format.h"
#include "rules/path.h"
#include "rules/product.h"
#include "rules/registry_key.h"
#include "seam/ansi_text.h"
#include "seam/copying.h"
#include "seam/files.h"
#include "seam/message_box.h"
#include "seam/process.h"
#include "seam/progress_window.h"
#include "seam/registry.h"
#include "seam/update_lock.h"
#include "seam/version_info.h"

namespace updater {

using preview::PreviewWorld;

namespace {

PreviewWorld& World() { return PreviewWorld::Current(); }

}  // namespace

std::string GetExecutablePath() { return JoinPath(World().setup().sourceRoot, kUpdaterFileName); }
std::optional<std::string> GetCurrentFolder() { return preview::kDocumentsFolder; }
bool SetCurrentFolder(const std::string& path) { return World().Kind(path) == EntryKind::kFolder; }
std::string UpperCaseAnsi(const std::string& text) { return UpperCaseAscii(text); }

std::optional<std::string> GetSpecialFolder(SpecialFolder) { return preview::kDocumentsFolder; }

// The registry holds the product's one key, with its RootDir only. Keys
// are named without regard to letter case, as the registry names them.
std::optional<std::string> ReadRegistryString(const std::string& keyPath, const std::string& name) {
    const auto keyOf = [](const std::string& path) { return UpperCaseAscii(RegistryKeyName(path)); };
    if (keyOf(keyPath) != keyOf(World().setup().productKey) || name != kRootDirValue) return std::nullopt;
    return World().setup().rootDir;
}

EntryKind GetEntryKind(const std::string& path) { return World().Kind(path); }
bool FileExists(const std::string& path) { return World().IsFile(path); }
FolderListing ListFolder(const std::string& folder) { return World().List(folder); }

void PrepareVersionReading() {}

std::optional<std::string> ReadJapaneseFileVersion(const std::string& path) { return World().FileVersion(path); }

struct CopySessionState {};

void CopySessionCloser::operator()(CopySessionState* session) const {
    std::default_delete<CopySessionState>()(session);
}

CopySession BeginCopies(const CopyRoots& roots, bool) {
    return CopySession(roots, CopySessionOwner(std::make_unique<CopySessionState>().release()));
}

// The preview's copies read nothing: its listing holds no file.
FolderListing ListPayloadFolder(CopySession&, const std::string& folder) { return World().List(folder); }

// A preview is the only run on its machine: the lock is always free.
struct UpdateLockState {};

void UpdateLockReleaser::operator()(UpdateLockState* lock) const { std::default_delete<UpdateLockState>()(lock); }

LockAttempt TryTakeUpdateLock(UpdateLock& lock) {
    lock.reset(std::make_unique<UpdateLockState>().release());
    return LockAttempt::kTaken;
}

LockAttempt WaitForUpdateLock(UpdateLock& lock) { return TryTakeUpdateLock(lock); }

bool CopyFileOver(CopySession&, const std::string& source, const std::string& destination) {
    return World().Copy(source, destination);
}

std::optional<std::string> FullPathName(const std::string& path) {
    std::string full = CollapseDotSegments(path);
    if (full.empty()) return std::nullopt;
    return full;
}

bool SaveTextFile(const std::string& parent, const std::string& folderName, const std::string& fileName,
                  const TextList& lines) {
    const std::string folder = JoinPath(parent, folderName);
    if (World().Kind(folder) != EntryKind::kFolder) return false;
    World().Save(JoinPath(folder, fileName), lines);
    return true;
}

void ShowMessageBox(DialogKind kind, const std::string& text) { World().Box(kind, text); }

void ProcessPendingMessages() {}

struct ProgressWindowHandle {};

void ProgressWindowDestroyer::operator()(ProgressWindowHandle* window) const {
    std::default_delete<ProgressWindowHandle>()(window);
}

ProgressWindow CreateProgressWindow() { return ProgressWindow(std::make_unique<ProgressWindowHandle>().release()); }
void SetProgressText(ProgressWindow&, const std::string&) {}
void ShowProgressWindow(ProgressWindow&) {}
void DestroyProgressWindow(ProgressWindow& window) { window.reset(); }

}  // namespace updater
