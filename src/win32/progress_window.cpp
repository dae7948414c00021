// Form1: the "please wait" window (class TForm1) with its one panel (Panel1,
// class TPanel) that shows a single centred line of text.

#include <windows.h>

#include <cstring>
#include <optional>
#include <string>

#include "rules/texts.h"
#include "seam/progress_window.h"
#include "win32/application_window.h"
#include "win32/callback_guard.h"
#include "win32/win32_handles.h"
#include "win32/win32_support.h"

namespace updater {

struct ProgressWindowHandle {
    // Released in reverse order: the window goes first, then the taskbar
    // button it needed, then its font.
    win32::UniqueFont font;
    std::optional<win32::ApplicationWindowShown> shown;
    win32::UniqueWindow window;
    HWND panel = nullptr;
};

void ProgressWindowDestroyer::operator()(ProgressWindowHandle* window) const {
    std::default_delete<ProgressWindowHandle>()(window);
}

namespace {

// The window class names are a contract with the outside: tools and the
// end-to-end tests find the "please wait" window and its text by them, so
// they stay these exact names.
constexpr char kFormClass[] = "TForm1";
constexpr char kPanelClass[] = "TPanel";

// Sizes at 96 dots per inch; the window and its panel grow in proportion
// with the screen's font scaling.
constexpr int kFormWidth = 432;
constexpr int kFormHeight = 137;
constexpr int kPanelLeft = 8;
constexpr int kPanelTop = 24;
constexpr int kPanelWidth = 393;
constexpr int kPanelHeight = 41;
constexpr int kFontHeight = 12;
constexpr char kProgressFontEnglishFace[] = "MS PGothic";

LRESULT HandleFormMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SETFONT:
        SetWindowLongPtrA(window, GWLP_USERDATA, static_cast<LONG_PTR>(wParam));
        return 0;
    case WM_GETFONT:
        return GetWindowLongPtrA(window, GWLP_USERDATA);
    case WM_CLOSE:
        // Nothing to cancel: the window stays until the copy is over.
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

// The panel draws its text in its parent's font, centred both ways on one
// line; DrawText clips at the panel's edges, so a long line loses both ends.
void PaintPanel(HWND panel) {
    const win32::PaintScope paint(panel);
    const HDC dc = paint.dc();
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(panel)) + 1, '\0');
    const int length = GetWindowTextA(panel, text.data(), static_cast<int>(text.size()));
    const auto font = reinterpret_cast<HFONT>(SendMessageA(GetParent(panel), WM_GETFONT, 0, 0));
    {
        const win32::SelectedObject selected(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
        RECT area;
        GetClientRect(panel, &area);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        DrawTextA(dc, text.c_str(), length, &area, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    }
}

LRESULT HandlePanelMessage(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        PaintPanel(panel);
        return 0;
    case WM_SETTEXT: {
        const LRESULT result = DefWindowProcA(panel, message, wParam, lParam);
        InvalidateRect(panel, nullptr, TRUE);
        return result;
    }
    default:
        return DefWindowProcA(panel, message, wParam, lParam);
    }
}

// The window procedures: nothing thrown in them reaches the system's frames.
LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return win32::GuardCallback<LRESULT>(0, [&] { return HandleFormMessage(window, message, wParam, lParam); });
}

LRESULT CALLBACK PanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
    return win32::GuardCallback<LRESULT>(0, [&] { return HandlePanelMessage(panel, message, wParam, lParam); });
}

void RegisterWindowClass(const char* name, WNDPROC procedure, HICON icon) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hIcon = icon;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = name;
    RegisterClassExA(&windowClass);
}

void RegisterClasses() {
    static const bool registered = [] {
        RegisterWindowClass(kFormClass, FormProc, win32::MainIcon(false));
        RegisterWindowClass(kPanelClass, PanelProc, nullptr);
        return true;
    }();
    (void)registered;
}

int CALLBACK NoteFontFound(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found) {
    return win32::GuardCallback(0, [&] {
        *reinterpret_cast<bool*>(found) = true;
        return 0;  // one is enough
    });
}

bool ShiftJisFaceInstalled(const char* face) {
    LOGFONTA font = {};
    font.lfCharSet = SHIFTJIS_CHARSET;
    std::strncpy(font.lfFaceName, face, LF_FACESIZE - 1);
    bool found = false;
    const win32::ScreenDC dc = win32::GetScreenDC();
    EnumFontFamiliesExA(dc.get(), &font, NoteFontFound, reinterpret_cast<LPARAM>(&found), 0);
    win32::RethrowCallbackError();
    return found;
}

// The window's face is "ＭＳ Ｐゴシック"; a system whose language is not
// Japanese lists the same font under its English name. Where neither is
// installed, the system's Japanese UI font stands in: the message font's face
// when that is a Shift-JIS font, otherwise whatever Shift-JIS face the font
// mapper picks.
std::string ProgressFontFace() {
    for (const char* face : {texts::kProgressFontFace, kProgressFontEnglishFace})
        if (ShiftJisFaceInstalled(face)) return face;
    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) &&
        metrics.lfMessageFont.lfCharSet == SHIFTJIS_CHARSET)
        return metrics.lfMessageFont.lfFaceName;
    return "";
}

win32::UniqueFont CreateProgressFont() {
    return win32::UniqueFont(CreateFontA(-win32::Scaled(kFontHeight), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                                         FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                         DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                                         ProgressFontFace().c_str()));
}

}  // namespace

ProgressWindow CreateProgressWindow() {
    RegisterClasses();
    ProgressWindow progress(std::make_unique<ProgressWindowHandle>().release());
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    progress->font = CreateProgressFont();
    // Owned by the application window, so it has no taskbar button of its own.
    progress->window.reset(CreateWindowExA(0, kFormClass, "", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                           CW_USEDEFAULT, CW_USEDEFAULT, win32::Scaled(kFormWidth),
                                           win32::Scaled(kFormHeight),
                                           win32::ApplicationWindow(), nullptr, instance, nullptr));
    if (!progress->window) return progress;
    SendMessageA(progress->window.get(), WM_SETFONT, reinterpret_cast<WPARAM>(progress->font.get()), FALSE);
    progress->panel = CreateWindowExA(0, kPanelClass, texts::kProgressInitialText, WS_CHILD | WS_VISIBLE,
                                      win32::Scaled(kPanelLeft), win32::Scaled(kPanelTop),
                                      win32::Scaled(kPanelWidth), win32::Scaled(kPanelHeight),
                                      progress->window.get(), nullptr, instance, nullptr);
    win32::RethrowCallbackError();
    return progress;
}

void SetProgressText(ProgressWindow& window, const std::string& text) {
    if (!window || !window->panel) return;
    SetWindowTextA(window->panel, text.c_str());
    win32::RethrowCallbackError();
}

void ShowProgressWindow(ProgressWindow& window) {
    if (!window || !window->window) return;
    const HWND form = window->window.get();
    RECT frame;
    GetWindowRect(form, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    SetWindowPos(form, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (!window->shown) window->shown.emplace();
    ShowWindow(form, SW_SHOW);
    SetForegroundWindow(form);
    BringWindowToTop(form);
    win32::RethrowCallbackError();
}

void DestroyProgressWindow(ProgressWindow& window) { window.reset(); }

void ProcessPendingMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
        win32::RethrowCallbackError();
    }
}

}  // namespace updater
