// The "please wait" window shown while the payload is copied: the part of the
// seam between the logic and Windows that is a window. The Windows build
// implements it in platform/win32/, the unit tests' stand-in records its steps.
#pragma once

#include <memory>
#include <string>

namespace updater {

struct ProgressWindowHandle;  // defined by each implementation
struct ProgressWindowDestroyer {
    void operator()(ProgressWindowHandle* window) const;
};
// Owns the window: it is destroyed when this goes, on every path.
using ProgressWindow = std::unique_ptr<ProgressWindowHandle, ProgressWindowDestroyer>;

// Creates the window, hidden.
ProgressWindow CreateProgressWindow();
// Sets the one line of text the window shows.
void SetProgressText(ProgressWindow& window, const std::string& text);
// Shows it non-modally, centred on the screen, in front.
void ShowProgressWindow(ProgressWindow& window);
// Removes it from the screen and frees it.
void DestroyProgressWindow(ProgressWindow& window);

}  // namespace updater
