// Owning types for the Win32 handles the program uses (rules/unique_resource.h
// with Win32 traits): each is released on every path, early exits included,
// and releasing one never changes the thread's last error.
#pragma once

#include <windows.h>

#include "rules/unique_resource.h"

namespace updater::win32 {

// Runs `close` without letting it touch the thread's last error: an owner
// often goes between the failing call and the report of its error.
template <typename Close>
void KeepingLastError(Close&& close) {
    const DWORD error = GetLastError();
    close();
    SetLastError(error);
}

// A handle whose one invalid value is its zero (null, or 0 for the integer
// handles of CryptoAPI), released by `Release`.
template <typename Handle, auto Release>
struct HandleTraits {
    using Type = Handle;
    static Handle Invalid() { return Handle{}; }
    static void Close(Handle handle) {
        KeepingLastError([handle] { Release(handle); });
    }
};

// A kernel handle of the kind CreateFile and FindFirstFile give, which
// report failure as INVALID_HANDLE_VALUE where most calls give null: both
// own nothing, so the owner of either call's result is right as it is.
template <auto Release>
struct FileHandleTraits : HandleTraits<HANDLE, Release> {
    static bool IsValid(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
};

template <typename Handle, auto Release>
using UniqueHandle = UniqueResource<HandleTraits<Handle, Release>>;

using UniqueFind = UniqueResource<FileHandleTraits<FindClose>>;
using UniqueFile = UniqueResource<FileHandleTraits<CloseHandle>>;
using UniqueMutex = UniqueHandle<HANDLE, CloseHandle>;
using UniqueModule = UniqueHandle<HMODULE, FreeLibrary>;
using UniqueWindow = UniqueHandle<HWND, DestroyWindow>;
using UniqueFont = UniqueHandle<HFONT, DeleteObject>;

// The screen's device context, for measuring text and reading its resolution.
inline void ReleaseScreenDC(HDC dc) { ReleaseDC(nullptr, dc); }
using ScreenDC = UniqueHandle<HDC, ReleaseScreenDC>;
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
