// The in-memory Windows's answers to seam/message_box.h: message boxes, recorded as events.
#include "fakes/fake_world.h"
#include "seam/message_box.h"

namespace updater {

using fake::FakeWindows;
using fake::World;

void ShowMessageBox(DialogKind kind, const std::string& text) {
    static const char* const names[] = {"warning", "error", "information"};
    World().events.push_back(std::string("box ") + names[static_cast<int>(kind)] + ": " + text);
}

}  // namespace updater
