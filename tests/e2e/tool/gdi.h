// Small owners of the GDI objects the tool uses, released on every path.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <type_traits>

namespace e2etool {

struct DcDeleter {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
struct GdiObjectDeleter {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using UniqueDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;
using UniqueBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;

// The screen's device context, released with the window it belongs to.
class ScreenDc {
public:
    ScreenDc() : dc_(GetDC(nullptr)) {}
    ~ScreenDc() { if (dc_) ReleaseDC(nullptr, dc_); }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

// A 32-bit top-down bitmap selected into a memory device context.
class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height), dc_(CreateCompatibleDC(nullptr)) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap_.reset(CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        bits_ = static_cast<std::uint32_t*>(bits);
        previous_ = SelectObject(dc_.get(), bitmap_.get());
    }
    ~Canvas() { SelectObject(dc_.get(), previous_); }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    bool ok() const { return bits_ != nullptr; }
    HDC dc() const { return dc_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }
    std::uint32_t at(int x, int y) const { return bits_[y * width_ + x] & 0xFFFFFF; }
    const std::uint32_t* bits() const { return bits_; }
    void Fill(std::uint32_t colour) {
        GdiFlush();
        std::fill(bits_, bits_ + width_ * height_, colour);
    }

private:
    int width_;
    int height_;
    UniqueDc dc_;
    UniqueBitmap bitmap_;
    std::uint32_t* bits_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

// Copies the screen's pixels under `rect` into a new canvas.
inline std::unique_ptr<Canvas> CaptureScreen(const RECT& rect) {
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return nullptr;
    auto canvas = std::make_unique<Canvas>(width, height);
    if (!canvas->ok()) return nullptr;
    ScreenDc screen;
    BitBlt(canvas->dc(), 0, 0, width, height, screen.get(), rect.left, rect.top, SRCCOPY);
    GdiFlush();
    return canvas;
}

}  // namespace e2etool
