// The program's message box: a modal dialog of its own rather than the
// system's MessageBox, which beeps and lays its text out differently. It is
// read like a system box: class "#32770", the text in a static of id 0xFFFF,
// the icon in a static whose id is the icon's resource number, one "OK".
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "rules/texts.h"
#include "seam/message_box.h"
#include "win32/application_window.h"
#include "win32/callback_guard.h"
#include "win32/win32_handles.h"
#include "win32/win32_support.h"

namespace updater {

namespace {

constexpr WORD kTextId = 0xFFFF;
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kStaticClass = 0x0082;

struct BoxLook {
    const char* title;
    WORD iconId;  // the icon's resource number, e.g. 32515 for IDI_EXCLAMATION
};

BoxLook LookOf(DialogKind kind) {
    switch (kind) {
    case DialogKind::kWarning:
        return {texts::kWarningTitle, LOWORD(reinterpret_cast<ULONG_PTR>(IDI_EXCLAMATION))};
    case DialogKind::kError:
        return {texts::kErrorTitle, LOWORD(reinterpret_cast<ULONG_PTR>(IDI_HAND))};
    case DialogKind::kInformation:
        break;
    }
    return {texts::kInformationTitle, LOWORD(reinterpret_cast<ULONG_PTR>(IDI_ASTERISK))};
}

// An in-memory dialog template: the dialog and its controls, with empty texts
// and no sizes; the dialog lays itself out in pixels when it starts.
class DialogTemplate {
public:
    explicit DialogTemplate(DWORD style) {
        AppendDword(style);
        AppendDword(0);      // extended style
        Append(0);           // control count, counted up by AddControl
        AppendZeros(4);      // x, y, cx, cy
        AppendZeros(3);      // no menu, the standard dialog class, no title
    }

    void AddControl(DWORD style, WORD id, WORD classAtom) {
        if (words_.size() % 2) Append(0);  // each control starts on a DWORD
        AppendDword(style);
        AppendDword(0);      // extended style
        AppendZeros(4);      // x, y, cx, cy
        Append(id);
        Append(0xFFFF);      // a predefined class, by atom
        Append(classAtom);
        Append(0);           // no text
        Append(0);           // no creation data
        ++words_[kCountIndex];
    }

    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    static constexpr std::size_t kCountIndex = 4;  // after style and extended style
    void Append(WORD word) { words_.push_back(word); }
    void AppendZeros(int count) { words_.insert(words_.end(), count, 0); }
    void AppendDword(DWORD value) {
        Append(LOWORD(value));
        Append(HIWORD(value));
    }
    std::vector<WORD> words_;  // vector storage is DWORD-aligned, as a template must be
};

// What the dialog shows; lives on ShowMessageBox's stack while it runs.
struct BoxContent {
    BoxLook look;
    const std::string& text;
    HFONT font;
};

win32::UniqueFont CreateMessageFont() {
    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        return win32::UniqueFont(CreateFontIndirectA(&metrics.lfMessageFont));
    return win32::UniqueFont();
}

// Size of `text` drawn in `font`, word-wrapped at `wrapWidth` the way a
// static control wraps it.
SIZE MeasureText(HFONT font, const std::string& text, int wrapWidth, UINT flags) {
    const win32::ScreenDC dc = win32::GetScreenDC();
    const win32::SelectedObject selected(dc.get(), font);
    RECT rect = {0, 0, wrapWidth, 0};
    DrawTextA(dc.get(), text.c_str(), static_cast<int>(text.size()), &rect, DT_CALCRECT | flags);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

void PlaceClient(HWND window, int x, int y, int width, int height) {
    SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Icon at the top left, the text to its right, the button centred below;
// the whole box centred on the screen.
void LayOut(HWND dialog, const BoxContent& content) {
    const HWND icon = GetDlgItem(dialog, content.look.iconId);
    const HWND text = GetWindow(icon, GW_HWNDNEXT);
    const HWND button = GetDlgItem(dialog, IDOK);

    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    const int margin = win32::Scaled(12);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);

    const SIZE textSize = MeasureText(content.font, content.text, screenWidth / 2,
                                      DT_WORDBREAK | DT_EXPANDTABS);
    const SIZE okSize = MeasureText(content.font, texts::kOkButton, screenWidth, DT_SINGLELINE);
    const int buttonWidth = std::max<int>(win32::Scaled(75), okSize.cx + win32::Scaled(16));
    const int buttonHeight = std::max<int>(win32::Scaled(23), okSize.cy + win32::Scaled(8));

    const int textLeft = margin + iconWidth + margin;
    const int contentHeight = std::max<int>(iconHeight, textSize.cy);
    const int textTop = margin + (contentHeight - textSize.cy) / 2;
    const int buttonTop = margin + contentHeight + margin;
    const int clientWidth = std::max<int>(textLeft + textSize.cx + margin, buttonWidth + 2 * margin);
    const int clientHeight = buttonTop + buttonHeight + margin;

    PlaceClient(icon, margin, margin, iconWidth, iconHeight);
    PlaceClient(text, textLeft, textTop, textSize.cx, textSize.cy);
    PlaceClient(button, (clientWidth - buttonWidth) / 2, buttonTop, buttonWidth, buttonHeight);

    RECT frame = {0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongA(dialog, GWL_EXSTYLE)));
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    PlaceClient(dialog, (screenWidth - width) / 2, (screenHeight - height) / 2, width, height);
}

void FillIn(HWND dialog, const BoxContent& content) {
    SetWindowTextA(dialog, content.look.title);
    const HWND icon = GetDlgItem(dialog, content.look.iconId);
    const HWND text = GetWindow(icon, GW_HWNDNEXT);
    const HWND button = GetDlgItem(dialog, IDOK);
    SendMessageA(icon, STM_SETICON,
                 reinterpret_cast<WPARAM>(LoadIconA(nullptr, MAKEINTRESOURCEA(content.look.iconId))), 0);
    for (const HWND control : {text, button})
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(content.font), FALSE);
    SetWindowTextA(text, content.text.c_str());
    SetWindowTextA(button, texts::kOkButton);
}

INT_PTR HandleBoxMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        const auto& content = *reinterpret_cast<const BoxContent*>(lParam);
        FillIn(dialog, content);
        LayOut(dialog, content);
        SetForegroundWindow(dialog);
        return TRUE;  // the focus goes to the OK button, the first tab stop
    }
    case WM_COMMAND:
        // OK, Enter (IDOK), Esc and the close box (IDCANCEL) all close the box.
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

// A box whose set-up failed closes at once; its error goes on once the box is gone.
INT_PTR CALLBACK BoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    const INT_PTR result =
        win32::GuardCallback<INT_PTR>(FALSE, [&] { return HandleBoxMessage(dialog, message, wParam, lParam); });
    if (win32::PendingCallbackError()) EndDialog(dialog, IDCANCEL);
    return result;
}

}  // namespace

void ShowMessageBox(DialogKind kind, const std::string& text) {
    const BoxLook look = LookOf(kind);
    DialogTemplate dialog(DS_MODALFRAME | DS_SETFOREGROUND | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    dialog.AddControl(WS_CHILD | WS_VISIBLE | SS_ICON, look.iconId, kStaticClass);
    // "&" stays a mnemonic prefix, as in a system box: no SS_NOPREFIX.
    dialog.AddControl(WS_CHILD | WS_VISIBLE | SS_LEFT, kTextId, kStaticClass);
    dialog.AddControl(WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK, kButtonClass);

    const win32::UniqueFont messageFont = CreateMessageFont();
    const BoxContent content{look, text,
                             messageFont ? messageFont.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT))};
    const win32::ApplicationWindowShown taskbarButton;
    DialogBoxIndirectParamA(GetModuleHandleA(nullptr), dialog.get(), win32::ApplicationWindow(), BoxProc,
                            reinterpret_cast<LPARAM>(&content));
    win32::RethrowCallbackError();
}

}  // namespace updater
