// Every Windows operation the update logic needs, in the logic's words.
//
// The Windows build implements these in platform/win32; the unit tests link an
// in-memory stand-in instead, and update-kit preview a stand-in over real
// files. All texts are code page 932 byte strings. How a call is made of
// Windows (flag words, owner windows, folder numbers, attribute masks, error
// numbers) stays behind this header.
//
// Results come in three shapes: what may be absent is an optional (or an
// empty listing or handle), what can fail without harm is a bool, and what
// breaks the run is a PlatformError, which reaches the top-level handler.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "text/text.h"

namespace updater {

// An error the Windows layer raises and the program lets reach the top-level
// handler. `kind` names the error in the application error box; `address` is
// the code address the error was raised at.
class PlatformError : public std::runtime_error {
public:
    PlatformError(std::string kind, const std::string& message, const void* address = nullptr)
        : std::runtime_error(message), kind_(std::move(kind)), address_(address) {}
    const std::string& kind() const { return kind_; }
    const void* address() const { return address_; }

private:
    std::string kind_;
    const void* address_;
};

// Kind names of the errors the Windows layer raises.
inline constexpr const char* kRegistryError = "ERegistryError";
inline constexpr const char* kFileCreateError = "EFileCreateError";
inline constexpr const char* kStreamWriteError = "EStreamWriteError";
inline constexpr const char* kLibraryLoadError = "ELibraryLoadError";

// ---- Process and command line -------------------------------------------

// The running executable's full path.
std::string GetExecutablePath();
// The current folder; nothing when it cannot be read.
std::optional<std::string> GetCurrentFolder();
bool SetCurrentFolder(const std::string& path);
// Letters upper-cased by the user's locale for the ANSI code page;
// double-byte characters are left as they are.
std::string UpperCaseAnsi(const std::string& text);

// ---- Shell folders -------------------------------------------------------

enum class SpecialFolder { Documents, ApplicationData };

// The folder's path, never creating it; nothing when it cannot be
// determined. Never shows anything and never raises: the caller decides what
// a missing folder means.
std::optional<std::string> GetSpecialFolder(SpecialFolder folder);

// ---- Registry (read-only, HKEY_LOCAL_MACHINE, 32-bit view) ----------------

// The text value `name` of the key `keyPath` (one leading "\" dropped), as
// stored and cut at its first NUL. The key is opened for KEY_READ without
// creating it, read once and closed. Nothing for a missing or unreadable key,
// no such value, or a value without data. Raises PlatformError
// (kRegistryError) for a non-text value with data, or when reading the data
// fails.
std::optional<std::string> ReadRegistryString(const std::string& keyPath, const std::string& name);

// ---- File system ---------------------------------------------------------

enum class EntryKind { Missing, File, Folder };

// What `path` is now; Missing also when it cannot be read.
EntryKind GetEntryKind(const std::string& path);

// True when `path` is a file (not a folder) whose last-write time is a local
// date in 1980..2107.
bool FileExists(const std::string& path);

inline bool DirectoryExists(const std::string& path) { return GetEntryKind(path) == EntryKind::Folder; }

// Which folder a path leads to, whatever links it passes through: the volume
// and the file identity within it. Two paths of one folder have equal
// identities.
struct FolderIdentity {
    std::uint32_t volume = 0;
    std::uint64_t file = 0;
    bool operator==(const FolderIdentity& other) const { return volume == other.volume && file == other.file; }
};

// One entry of a folder as the file system lists it.
struct FolderEntry {
    // Code page 932. When `exactName` is false the entry's real (Unicode)
    // name has no exact code page 932 spelling, and this text names no file.
    std::string name;
    bool folder = false;
    bool exactName = true;
    // A link of any kind: a reparse point (junction, symbolic link), a file
    // whose final path is not the path listed, or a file with more than one
    // hard link.
    bool link = false;
};

// One folder's listing: its identity and its entries in the order the file
// system gives them ("." and ".." left out, hidden and system entries
// included), or not ok when the folder could not be read whole (why is the
// system's business: the logic only stops there). An empty folder is ok.
struct FolderListing {
    bool ok = true;  // false: the folder could not be read whole
    FolderIdentity identity;
    std::vector<FolderEntry> entries;
};

struct CopySessionState;  // a run's copies (see BeginCopies below)

// With `holdFilesIn`, every file that the listing finds to be no link is
// also held in that session as HoldPayloadFile holds it (read sharing only,
// so no one can write, rename or delete it), and the session's copy or
// hold of that file checks the held file where it lies then instead of
// opening it again. A file that cannot be held so is listed as without it.
FolderListing ListFolder(const std::string& folder, CopySessionState* holdFilesIn = nullptr);

// ---- Version resources ---------------------------------------------------

// Makes ready what reading version texts needs; called once, before the
// first read. Raises PlatformError (kLibraryLoadError) when that cannot be
// done, since every file would then read as having no version.
void PrepareVersionReading();

// The FileVersion text of the file's Japanese (0411, code page 932) version
// table as stored, or nothing when the file has no such text or cannot be
// read. Never reads without what PrepareVersionReading makes ready.
std::optional<std::string> ReadJapaneseFileVersion(const std::string& path);

// ---- Copying -------------------------------------------------------------

// `path` made absolute and with "." and ".." resolved as Windows resolves
// them (against the current folder where it is relative); nothing when it
// cannot be resolved. Nothing on disk is looked at.
std::optional<std::string> FullPathName(const std::string& path);

struct FileDigest {
    std::uint64_t size = 0;
    std::string sha256;  // 64 lower-case hex digits
    bool operator==(const FileDigest& other) const { return size == other.size && sha256 == other.sha256; }
};

// The two folders a copy runs between: the update's and the product's.
struct CopyRoots {
    std::string source;
    std::string target;
};

// The copies of one run from `roots.source` into `roots.target`. The folders
// they pass stay held while it lives (no one can rename them or swap them
// for a link), so that consecutive copies into one folder open its path
// once.
struct CopySessionState;  // defined by each implementation
struct CopySessionCloser {
    void operator()(CopySessionState* session) const;
};
using CopySession = std::unique_ptr<CopySessionState, CopySessionCloser>;

CopySession BeginCopies(const CopyRoots& roots);

// Holds the payload file `path` until the session ends, with the folders
// from the session's source root down to it: the file is opened for reading
// as a plain file where it was listed, with read sharing only (no one can
// write, rename or delete it while it is held; the shell's copy can still
// read it), and its copy in this session reads it as held. Returns the
// size and SHA-256 of its bytes, read through the held handle; nothing
// when it cannot be held so or read.
std::optional<FileDigest> HoldPayloadFile(CopySession& session, const std::string& path);

// Copies `source`, below the session's source root, over `destination`
// (the new file's full name) below its target root, creating missing
// folders. The new file is written beside the installed one under
// kTemporaryCopyName and then replaces it by name in one step, so the installed file is either the old
// one or the whole new one; a link or hard link standing at `destination`
// is replaced, its target and other names are not written. False, with the
// installed file as it was and no temporary file left, when the copy did
// not happen: also when a folder between a root and its file (not the root
// itself) is a link, or the source is not a plain file. The system may
// show its own error dialog.
bool CopyFileOver(CopySession& session, const std::string& source, const std::string& destination);

// ---- Text files ----------------------------------------------------------

// Writes every line followed by CR LF, as code page 932 bytes without a
// byte-order mark, into the file `fileName` of the folder `folderName`
// directly under `parent`. Only a real folder and a real file are written:
// false, with nothing written, when that folder does not exist or is a link,
// or when the file exists but is not a plain file with one link that lies in
// that folder. Otherwise the file is created or emptied and written, through
// the handle that was checked. Raises PlatformError (kFileCreateError,
// kStreamWriteError) when the file cannot be created or written.
bool SaveTextFile(const std::string& parent, const std::string& folderName, const std::string& fileName,
                  const TextList& lines);

// ---- Signatures and hashes (the signed updater's trust check) ------------


// What the running program's own Authenticode signature says of its signer.
struct OwnSignature {
    enum class State { Unsigned, Signed, Unreadable } state = State::Unsigned;
    std::string certificate;  // the signer's certificate (DER) when Signed
    FileDigest digest;        // the program file's size and SHA-256 when Signed
};
// The signer of the running executable's embedded signature, as Windows
// shows it in the elevation prompt, read with the file's digest through the
// program's own file, held since its start, that no one can write, rename or
// delete meanwhile. Unsigned when the image Windows loaded carries no
// certificate table. Unreadable when it carries one and the held file is not
// the file the image was loaded from, or its signature cannot be read or
// does not verify against the signer's certificate. Raises PlatformError
// (kLibraryLoadError) when the system's signature library cannot be loaded.
OwnSignature ReadOwnSignature();

// The signer certificate (DER) of a detached PKCS#7 signature of `content`,
// or nothing when the signature does not hold for these bytes.
std::optional<std::string> VerifyDetachedSignature(const std::string& content, const std::string& signature);

// The whole file's bytes, or nothing when it cannot be read or holds more
// than `limit` bytes.
std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit);

// A UTF-8 text in the ANSI code page (932) exactly: nothing when any
// character has no exact spelling there (no near matches, no "?").
std::optional<std::string> Utf8ToAnsiExact(const std::string& utf8);

// ---- Windows and messages ------------------------------------------------

enum class DialogKind { Warning, Error, Information };

// A modal box titled by its kind with the kind's icon, the text and one "OK".
void ShowMessageBox(DialogKind kind, const std::string& text);

// Handles every message waiting in the thread's queue, then returns.
void ProcessPendingMessages();

}  // namespace updater
