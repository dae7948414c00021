// Owning types for the Win32 handles the program uses: each is released on
// every path, early exits included.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace updater::win32 {

template <typename Handle, auto Close>
struct HandleCloser {
    void operator()(Handle handle) const { Close(handle); }
};

template <typename Handle, auto Close>
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<Handle>, HandleCloser<Handle, Close>>;

// Find and file handles; FindFirstFileA and CreateFileA report failure as
// INVALID_HANDLE_VALUE, which OwnedOrEmpty turns into an empty owner.
using UniqueFind = UniqueHandle<HANDLE, FindClose>;
using UniqueFile = UniqueHandle<HANDLE, CloseHandle>;
using UniqueMutex = UniqueHandle<HANDLE, CloseHandle>;
using UniqueModule = UniqueHandle<HMODULE, FreeLibrary>;
using UniqueWindow = UniqueHandle<HWND, DestroyWindow>;
using UniqueFont = UniqueHandle<HFONT, DeleteObject>;

template <typename Owner>
Owner OwnedOrEmpty(HANDLE handle) {
    return Owner(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

// The screen's device context, for measuring text and reading its resolution.
struct ScreenDCReleaser {
    void operator()(HDC dc) const { ReleaseDC(nullptr, dc); }
};
using ScreenDC = std::unique_ptr<std::remove_pointer_t<HDC>, ScreenDCReleaser>;
inline ScreenDC GetScreenDC() { return ScreenDC(GetDC(nullptr)); }

// Selects a GDI object into a device context for one scope.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject() { SelectObject(dc_, previous_); }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// One WM_PAINT's drawing: BeginPaint now, EndPaint on every way out.
class PaintScope {
public:
    explicit PaintScope(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
    ~PaintScope() { EndPaint(window_, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC dc() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

}  // namespace updater::win32
