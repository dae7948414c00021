// The seam: every Windows operation the update logic needs, in the logic's
// words, one header a concern (this folder). The Windows build implements
// each header in the same-named file of src/win32; the unit tests link an
// in-memory stand-in instead (tests/fakes), and update-kit preview a stand-in
// over real files (src/kit/preview); README.md beside this file says how
// they bind. All texts are code page 932 byte strings. How a call is made of
// Windows (flag words, owner windows, folder numbers, attribute masks, error
// numbers) stays behind these headers.
//
// Results come in three shapes: what may be absent is an optional (or an
// empty listing or handle), what can fail without harm is a bool, and what
// breaks the run is a PlatformError (below), which reaches the top-level
// handler. One call answers in two shapes only for two different
// conditions: ReadRegistryString is absent for a product that is not
// installed and raises for a value no product writes; SaveTextFile is false
// for a log folder that is missing or a link and raises when the file
// cannot be written; the logic's CopyPayload is false for a failed copy and
// raises when version texts cannot be read at all.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

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

}  // namespace updater
