// The application's hidden top-level window: the owner of every window and
// box of the program, and the one that gives it a taskbar button.
#pragma once

#include <windows.h>

#include "win32/win32_handles.h"

namespace updater::win32 {

// Creates the application window; the process entry keeps this object for as
// long as the program runs, and ApplicationWindow() returns its handle.
class Application {
public:
    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

private:
    UniqueWindow window_;
};

// While at least one of these exists (one per visible window or box of the
// program), the application window is shown, so the application has its
// taskbar button; it is hidden again when the last one goes.
class ApplicationWindowShown {
public:
    ApplicationWindowShown();
    ~ApplicationWindowShown();
    ApplicationWindowShown(const ApplicationWindowShown&) = delete;
    ApplicationWindowShown& operator=(const ApplicationWindowShown&) = delete;
};

// The application window's handle: the owner of shell operations and of the
// program's windows and boxes; null before the Application exists.
HWND ApplicationWindow();

// The program's main icon at the system's large (SM_CXICON) or small
// (SM_CXSMICON) size; shared, never destroyed.
HICON MainIcon(bool small);

}  // namespace updater::win32
