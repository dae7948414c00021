// Every Windows operation the update logic needs, and nothing else.
//
// The Windows build implements these in platform/win32; the unit tests link an
// in-memory stand-in instead. All texts are code page 932 byte strings.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace updater {

using TextList = std::vector<std::string>;

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

// ---- Process and command line -------------------------------------------

// The n-th argument of the command line (n >= 1; the program name is 0), or "".
std::string GetArgument(int n);
// The running executable's full path.
std::string GetExecutablePath();
std::string GetCurrentFolder();
bool SetCurrentFolder(const std::string& path);
// Letters upper-cased by the user's locale for the ANSI code page;
// double-byte characters are left as they are.
std::string UpperCaseAnsi(const std::string& text);

// ---- Shell folders -------------------------------------------------------

enum class SpecialFolder : int { Personal = 5, AppData = 26 };

// The folder's path, never creating it; "" when it cannot be determined. When
// the call itself raises an error, its message is shown in an error box first.
std::string GetSpecialFolder(SpecialFolder folder);

// ---- Registry (read-only, HKEY_LOCAL_MACHINE, 32-bit view) ----------------

struct RegistryKeyHandle;  // defined by each implementation
struct RegistryKeyCloser {
    void operator()(RegistryKeyHandle* key) const;
};
using RegistryKey = std::unique_ptr<RegistryKeyHandle, RegistryKeyCloser>;

// Opens `path` for KEY_READ without creating it; one leading "\" is dropped.
// A missing or unreadable key gives an empty RegistryKey, never an error.
RegistryKey OpenRegistryKey(const std::string& path);
// The value's text as stored, cut at its first NUL; "" for no key, no value or
// no data. Raises PlatformError (kRegistryError) for a non-text value with
// data, or when reading the data fails.
std::string ReadRegistryString(const RegistryKey& key, const std::string& name);

// ---- File system ---------------------------------------------------------

inline constexpr std::int32_t kAttributeFolder = 0x10;
inline constexpr std::int32_t kInvalidAttributes = -1;
inline constexpr std::uint32_t kAnyFileMask = 0x3F;

struct FoundEntry {
    std::string name;
    std::int32_t attributes;
};

// The entries of one folder matching `pattern`, in the order the file system
// returns them ("." and ".." included). The search is always closed.
std::vector<FoundEntry> FindEntries(const std::string& pattern, std::uint32_t mask);
// Attribute bits of `path`, or kInvalidAttributes.
std::int32_t GetAttributes(const std::string& path);
// True when the first entry a search for `path` finds is not a folder and its
// last-write time is a local date in 1980..2107.
bool FileExists(const std::string& path);

inline bool DirectoryExists(const std::string& path) {
    const std::int32_t attributes = GetAttributes(path);
    return attributes != kInvalidAttributes && (attributes & kAttributeFolder) != 0;
}

// ---- Version resources ---------------------------------------------------

// Size of the file's version information, 0 when it has none or is unreadable.
std::uint32_t GetVersionInfoSize(const std::string& path);
// Fills `buffer` (already sized) with the file's version information.
bool GetVersionInfo(const std::string& path, std::vector<std::uint8_t>& buffer);
// The text stored under `subBlock`, or nothing when there is no such value.
std::optional<std::string> QueryVersionValue(const std::vector<std::uint8_t>& buffer,
                                             const std::string& subBlock);

// ---- Shell file copy -----------------------------------------------------

using WindowHandle = void*;

// Copies one file with the shell's file operation; `destination` is the new
// file's full name. 0 on success; anything else means nothing was copied.
int ShellCopyFile(WindowHandle owner, const std::string& source,
                  const std::string& destination, std::uint16_t flags);

// ---- Text files ----------------------------------------------------------

// Creates or empties the file and writes every line followed by CR LF, as
// code page 932 bytes without a byte-order mark. Raises PlatformError
// (kFileCreateError, kStreamWriteError) when that cannot be done.
void SaveTextFile(const std::string& path, const TextList& lines);

// ---- Windows and messages ------------------------------------------------

// The application's hidden owner window (taskbar button while a window of the
// program is visible); the owner of shell operations.
WindowHandle ApplicationWindow();

enum class DialogKind { Warning, Error, Information };

// A modal box titled by its kind with the kind's icon, the text and one "OK".
void ShowMessageBox(DialogKind kind, const std::string& text);

// Handles every message waiting in the thread's queue, then returns.
void ProcessPendingMessages();

}  // namespace updater
