// The application window and the message pump.
#include "win32/application_window.h"

#include <string>

#include "rules/path.h"
#include "seam/process.h"
#include "seam/progress_window.h"
#include "win32/callback_guard.h"

namespace updater {

namespace win32 {

namespace {

constexpr char kClassName[] = "UpdaterApplication";
constexpr int kMainIconId = 1;

HWND applicationWindow = nullptr;
int visibleWindows = 0;

LRESULT HandleApplicationMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE:
        // The taskbar's "close": a run cannot be broken off half-way.
        return 0;
    case WM_ACTIVATE:
        // Clicking the taskbar button activates this zero-sized window; hand
        // the activation on to the program's window or box in front.
        if (LOWORD(wParam) != WA_INACTIVE) {
            const HWND popup = GetLastActivePopup(window);
            if (popup != window && IsWindowVisible(popup) && IsWindowEnabled(popup)) {
                SetActiveWindow(popup);
                return 0;
            }
        }
        return DefWindowProcA(window, message, wParam, lParam);
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK ApplicationWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return GuardCallback<LRESULT>(0, [&] { return HandleApplicationMessage(window, message, wParam, lParam); });
}

void RegisterApplicationClass(HINSTANCE instance) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = ApplicationWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = MainIcon(false);
    windowClass.hIconSm = MainIcon(true);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kClassName;
    RegisterClassExA(&windowClass);
}

}  // namespace

HICON MainIcon(bool small) {
    const int width = GetSystemMetrics(small ? SM_CXSMICON : SM_CXICON);
    const int height = GetSystemMetrics(small ? SM_CYSMICON : SM_CYICON);
    return static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kMainIconId),
                                         IMAGE_ICON, width, height, LR_SHARED));
}

Application::Application() {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterApplicationClass(instance);
    // Zero-sized at the screen's centre: when shown it is only a taskbar button.
    const std::string title = ApplicationTitleOf(GetExecutablePath());
    window_.reset(CreateWindowExA(0, kClassName, title.c_str(),
                                  WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPSIBLINGS,
                                  GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0,
                                  nullptr, nullptr, instance, nullptr));
    if (!window_) return;
    SendMessageA(window_.get(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(MainIcon(false)));
    SendMessageA(window_.get(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(MainIcon(true)));
    applicationWindow = window_.get();
    RethrowCallbackError();
}

Application::~Application() { applicationWindow = nullptr; }

ApplicationWindowShown::ApplicationWindowShown() {
    if (visibleWindows++ == 0 && applicationWindow) ShowWindow(applicationWindow, SW_SHOWNA);
}

ApplicationWindowShown::~ApplicationWindowShown() {
    if (--visibleWindows == 0 && applicationWindow) ShowWindow(applicationWindow, SW_HIDE);
}

HWND ApplicationWindow() { return applicationWindow; }

}  // namespace win32

}  // namespace updater
