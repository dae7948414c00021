// The in-memory Windows's answers to seam/progress_window.h: the progress
// window and the message pump, recorded as events.
#include <memory>

#include "fakes/fake_world.h"
#include "seam/progress_window.h"

namespace updater {

using fake::FakeWindows;
using fake::World;

void ProcessPendingMessages() { World().events.push_back("pump"); }

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
