// The off-screen context over a memory target: nothing reaches the target
// until the end, and then exactly the target's clip box, at the target's
// logical coordinates.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "tests/ui/dib_canvas.h"
#include "ui/offscreen_dc.h"

namespace kelvane {
namespace {

constexpr int kWidth = 60;
constexpr int kHeight = 40;
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

using test::DibCanvas;

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
        DibCanvas target(kWidth, kHeight, kWhite);
        ASSERT_TRUE(target.Ready());
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
            DibCanvas::Fill(offscreen.get(), everything, kRed);
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
