// The "please wait" window shown while the payload is copied, and the
// message pump that keeps it painted between copies.
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

// Handles every message waiting in the thread's queue, then returns.
void ProcessPendingMessages();

}  // namespace updater
