// A 32-bit top-down DIB section selected into a memory context. Tests draw
// into it, or have a control paint into it, and read the pixels straight from
// the section's memory, so nothing of the screen's format gets in the way.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "framework/raii.h"

namespace kelvane::test {

// What a canvas held at one moment.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;

    COLORREF At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    bool operator==(const Picture&) const = default;

    // How many pixels of the columns [left, right) have a mixture of the two colours.
    int CountBetween(COLORREF a, COLORREF b, int left, int right) const {
        auto within = [](int value, int one, int other) {
            return value >= std::min(one, other) && value <= std::max(one, other);
        };
        int n = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = left; x < right; ++x) {
                COLORREF c = At(x, y);
                n += within(GetRValue(c), GetRValue(a), GetRValue(b)) && within(GetGValue(c), GetGValue(a), GetGValue(b)) &&
                     within(GetBValue(c), GetBValue(a), GetBValue(b));
            }
        }
        return n;
    }

    // How many pixels of the columns [left, right) have the colour.
    int Count(COLORREF colour, int left, int right) const {
        int n = 0;
        for (int y = 0; y < height; ++y)
            for (int x = left; x < right; ++x) n += At(x, y) == colour;
        return n;
    }
};

// Filled with `fill` when made. Pixels read as CLR_INVALID unless Ready().
class DibCanvas {
public:
    DibCanvas(int width, int height, COLORREF fill)
        : width_(width),
          height_(height),
          bitmap_(MakeSection(width, height, &bits_)),
          dc_(::CreateCompatibleDC(nullptr)),
          selection_(dc_.get(), bitmap_.get()) {
        Fill(dc_.get(), RECT{0, 0, width, height}, fill);
    }

    HDC dc() const { return dc_.get(); }
    bool Ready() const { return bitmap_ && dc_ && bits_; }

    // The pixel at device coordinates.
    COLORREF At(int x, int y) const {
        if (!bits_) return CLR_INVALID;
        ::GdiFlush();
        return Colour(Pixels()[static_cast<size_t>(y) * width_ + x]);
    }

    Picture Read() const {
        Picture picture{width_, height_, std::vector<COLORREF>(static_cast<size_t>(width_) * height_, CLR_INVALID)};
        if (!bits_) return picture;
        ::GdiFlush();
        std::transform(Pixels(), Pixels() + picture.pixels.size(), picture.pixels.begin(), Colour);
        return picture;
    }

    static void Fill(HDC dc, const RECT& area, COLORREF colour) {
        fw::unique_hbrush brush(::CreateSolidBrush(colour));
        ::FillRect(dc, &area, brush.get());
    }

private:
    static HBITMAP MakeSection(int width, int height, void** bits) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // top-down: row 0 first in memory
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        return ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
    }

    // A section's pixels are 0x00RRGGBB, the reverse of COLORREF's byte order.
    static COLORREF Colour(std::uint32_t p) { return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF); }

    const std::uint32_t* Pixels() const { return static_cast<const std::uint32_t*>(bits_); }

    int width_;
    int height_;
    // Set while the section is made, so declared (and initialised) before it.
    void* bits_ = nullptr;
    fw::unique_hbitmap bitmap_;
    fw::unique_memory_dc dc_;
    // Last, so that the bitmap is deselected before the context and the bitmap go.
    fw::select_scope selection_;
};

}  // namespace kelvane::test
