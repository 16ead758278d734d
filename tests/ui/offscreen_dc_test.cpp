// The off-screen context over a memory target: nothing reaches the target
// until the end, and then exactly the target's clip box, at the target's
// logical coordinates.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>

#include "framework/raii.h"
#include "ui/offscreen_dc.h"

namespace kelvane {
namespace {

constexpr int kWidth = 60;
constexpr int kHeight = 40;
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

class Target {
public:
    Target() {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = kWidth;
        info.bmiHeader.biHeight = -kHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap_.reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        pixels_ = static_cast<const std::uint32_t*>(bits);
        dc_.reset(::CreateCompatibleDC(nullptr));
        previous_ = ::SelectObject(dc_.get(), bitmap_.get());
        RECT all{0, 0, kWidth, kHeight};
        Fill(dc_.get(), all, kWhite);
    }
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;
    ~Target() { ::SelectObject(dc_.get(), previous_); }

    HDC dc() const { return dc_.get(); }

    // The pixel at device coordinates.
    COLORREF At(int x, int y) const {
        ::GdiFlush();
        std::uint32_t p = pixels_[y * kWidth + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }

    static void Fill(HDC dc, const RECT& area, COLORREF colour) {
        fw::unique_hbrush brush(::CreateSolidBrush(colour));
        ::FillRect(dc, &area, brush.get());
    }

private:
    fw::unique_hbitmap bitmap_;
    fw::unique_memory_dc dc_;
    HGDIOBJ previous_ = nullptr;
    const std::uint32_t* pixels_ = nullptr;
};

TEST(OffscreenDC, CopiesTheClipBoxAtTheTargetsCoordinatesWhenDone) {
    struct Case {
        RECT clip;    // logical; {0,0,0,0}: none
        POINT origin;  // the target's viewport origin
    };
    const Case cases[] = {
        {{0, 0, 0, 0}, {0, 0}},
        {{10, 5, 50, 35}, {0, 0}},
        {{10, 5, 50, 35}, {7, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.clip.left) + "," + std::to_string(c.clip.top) + " at " +
                     std::to_string(c.origin.x) + "," + std::to_string(c.origin.y));
        Target target;
        ::SetViewportOrgEx(target.dc(), c.origin.x, c.origin.y, nullptr);
        bool clipped = !::IsRectEmpty(&c.clip);
        if (clipped) ::IntersectClipRect(target.dc(), c.clip.left, c.clip.top, c.clip.right, c.clip.bottom);
        RECT drawn = clipped ? c.clip : RECT{-c.origin.x, -c.origin.y, kWidth - c.origin.x, kHeight - c.origin.y};
        // A mark at a logical point inside the drawn area.
        POINT mark{drawn.left + 3, drawn.top + 2};
        {
            OffscreenDC offscreen(target.dc());
            ASSERT_TRUE(offscreen.IsOffscreen());
            EXPECT_TRUE(::EqualRect(&offscreen.Rect(), &drawn));
            RECT everything{-100, -100, 200, 200};
            Target::Fill(offscreen.get(), everything, kRed);
            ::SetPixel(offscreen.get(), mark.x, mark.y, kBlue);
            EXPECT_EQ(target.At(kWidth / 2, kHeight / 2), kWhite) << "drawing reached the target early";
        }
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                int lx = x - c.origin.x, ly = y - c.origin.y;
                bool inside = lx >= drawn.left && lx < drawn.right && ly >= drawn.top && ly < drawn.bottom;
                COLORREF expected = !inside ? kWhite : (lx == mark.x && ly == mark.y) ? kBlue : kRed;
                ASSERT_EQ(target.At(x, y), expected) << "device pixel " << x << "," << y;
            }
        }
    }
}

}  // namespace
}  // namespace kelvane
