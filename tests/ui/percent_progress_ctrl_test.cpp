// The progress bar on a real msctls_progress32 window. Pictures are taken by
// asking the control to paint into a 32-bit DIB section and reading it back;
// repaints are counted by a window procedure layered over the control.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <climits>
#include <cstring>
#include <string>

#include "framework/raii.h"
#include "tests/ui/dib_canvas.h"
#include "ui/percent_progress_ctrl.h"

namespace kelvane {
namespace {

constexpr int kClientWidth = 200;
constexpr int kClientHeight = 20;
// Never used by the bar: shows what it left unpainted.
constexpr COLORREF kUnpainted = RGB(255, 0, 255);

using test::DibCanvas;
using test::Picture;

// Counts the WM_PAINT messages that reach the control's procedures.
class PaintCounter {
public:
    explicit PaintCounter(HWND window) : window_(window) {
        ::SetPropA(window_, kProperty, this);
        previous_ = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PaintCounter::Procedure)));
    }
    PaintCounter(const PaintCounter&) = delete;
    PaintCounter& operator=(const PaintCounter&) = delete;
    ~PaintCounter() {
        if (!::IsWindow(window_)) return;
        ::SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
        ::RemovePropA(window_, kProperty);
    }

    int paints = 0;

private:
    static constexpr char kProperty[] = "Kelvane.Test.PaintCounter";
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = static_cast<PaintCounter*>(::GetPropA(window, kProperty));
        if (message == WM_PAINT) ++self->paints;
        return ::CallWindowProcA(self->previous_, window, message, wParam, lParam);
    }

    HWND window_;
    WNDPROC previous_ = nullptr;
};

class ProgressBar : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
        ::InitCommonControlsEx(&controls);
    }

    void SetUp() override {
        // The dialog's bars are bordered progress controls.
        window.reset(::CreateWindowExA(0, PROGRESS_CLASSA, "", WS_POPUP | WS_VISIBLE | WS_BORDER, 0, 0,
                                       kClientWidth + 2, kClientHeight + 2, nullptr, nullptr,
                                       ::GetModuleHandleA(nullptr), nullptr));
        ASSERT_TRUE(window);
        ASSERT_TRUE(bar.Subclass(window.get()));
        RECT client{};
        ::GetClientRect(window.get(), &client);
        ASSERT_EQ(client.right, kClientWidth);
        ASSERT_EQ(client.bottom, kClientHeight);
        ::UpdateWindow(window.get());
    }

    HWND hwnd() const { return window.get(); }

    // The control's picture, painted into a DIB section through `message`.
    Picture Render(UINT message = WM_PRINTCLIENT) {
        DibCanvas canvas(kClientWidth, kClientHeight, kUnpainted);
        EXPECT_TRUE(canvas.Ready());
        ::SendMessageA(hwnd(), message, reinterpret_cast<WPARAM>(canvas.dc()),
                       message == WM_PRINTCLIENT ? PRF_CLIENT : 0);
        return canvas.Read();
    }

    void SetCaption(const char* text) { ::SendMessageA(hwnd(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)); }

    bool RepaintPending() const { return ::GetUpdateRect(hwnd(), nullptr, FALSE) != FALSE; }

    const COLORREF highlight = ::GetSysColor(COLOR_HIGHLIGHT);
    const COLORREF windowColour = ::GetSysColor(COLOR_WINDOW);

    PercentProgressCtrl bar;
    fw::unique_window window;
};

TEST_F(ProgressBar, PaintsTheFilledPartAndTheTextInOppositeColours) {
    ASSERT_NE(highlight, windowColour);
    ASSERT_NE(highlight, kUnpainted);
    ASSERT_NE(windowColour, kUnpainted);
    bar.SetRange(0, 10);
    bar.SetPos(5);
    Picture picture = Render();
    const int half = kClientWidth / 2;

    // Left half: the bar, with text in the window colour; right half: the
    // reverse. Smoothed glyph edges mix the two colours, nothing else does.
    EXPECT_EQ(picture.CountBetween(highlight, windowColour, 0, kClientWidth), kClientWidth * kClientHeight);
    EXPECT_GT(picture.Count(windowColour, 0, half), 0) << "no text over the bar";
    EXPECT_GT(picture.Count(highlight, half, kClientWidth), 0) << "no text over the empty part";
    // The text is centred: the outer columns are plain.
    EXPECT_EQ(picture.Count(highlight, 0, 10), 10 * kClientHeight);
    EXPECT_EQ(picture.Count(windowColour, kClientWidth - 10, kClientWidth), 10 * kClientHeight);

    // The same picture whichever way the context is handed over.
    EXPECT_EQ(Render(WM_PAINT), picture);
}

TEST_F(ProgressBar, PaintsOnlyItsOwnAreaOfALargerContext) {
    // As when a parent has its children print themselves into its own picture.
    constexpr int kMargin = 10;
    DibCanvas canvas(kClientWidth + 2 * kMargin, kClientHeight + 2 * kMargin, kUnpainted);
    ASSERT_TRUE(canvas.Ready());
    ::SetViewportOrgEx(canvas.dc(), kMargin, kMargin, nullptr);
    bar.SetRange(0, 10);
    bar.SetPos(5);
    ::SendMessageA(hwnd(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc()), PRF_CLIENT);
    Picture picture = canvas.Read();

    Picture own = Render();
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            bool inside = x >= kMargin && x < kMargin + kClientWidth && y >= kMargin && y < kMargin + kClientHeight;
            COLORREF expected = inside ? own.At(x - kMargin, y - kMargin) : kUnpainted;
            ASSERT_EQ(picture.At(x, y), expected) << "pixel " << x << "," << y;
        }
    }
}

TEST_F(ProgressBar, ShowsTheTruncatedPercentageUnlessACaptionIsSet) {
    // The comparison below can tell one digit from another.
    SetCaption("66%");
    Picture sixtySix = Render();
    SetCaption("67%");
    ASSERT_NE(Render(), sixtySix);
    SetCaption("");

    struct Case {
        int lower, upper, pos;
        const char* shown;
    };
    const Case cases[] = {
        {0, 10, 5, "50%"},
        {0, 3, 2, "66%"},
        {0, 100, 29, "29%"},  // 0.29 * 100 is just below 29 in floating point
        {0, 50, 29, "58%"},
        {-10, 10, 0, "50%"},
        {0, 10, 15, "150%"},  // positions are not clamped to the range
        {0, 10, -5, "-50%"},
        {INT_MIN, INT_MAX, INT_MAX, "100%"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        bar.SetRange(c.lower, c.upper);
        bar.SetPos(c.pos);
        Picture percentage = Render();
        SetCaption(c.shown);
        EXPECT_EQ(Render(), percentage);
        SetCaption("");
        EXPECT_EQ(Render(), percentage) << "an empty caption brings the percentage back";
    }
}

TEST_F(ProgressBar, DrawsPositionsBeyondTheRangeAsFullOrEmpty) {
    struct Case {
        int pos;
        COLORREF fill;
    };
    const Case cases[] = {{15, highlight}, {-5, windowColour}};
    bar.SetRange(0, 10);
    bar.SetShowText(false);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pos);
        bar.SetPos(c.pos);
        EXPECT_EQ(Render().Count(c.fill, 0, kClientWidth), kClientWidth * kClientHeight);
    }
}

TEST_F(ProgressBar, HiddenTextLeavesOnlyTheTwoFills) {
    bar.SetRange(0, 4);
    bar.SetPos(1);
    SetCaption("shown");
    bar.SetShowText(false);
    Picture picture = Render();
    EXPECT_EQ(picture.Count(highlight, 0, kClientWidth / 4), kClientWidth / 4 * kClientHeight);
    EXPECT_EQ(picture.Count(windowColour, kClientWidth / 4, kClientWidth), kClientWidth * 3 / 4 * kClientHeight);
}

TEST_F(ProgressBar, EmptyRangeDrawsNothingButCompletesThePaint) {
    PaintCounter counter(hwnd());
    const std::pair<int, int> ranges[] = {{0, 0}, {10, 0}};
    for (auto [lower, upper] : ranges) {
        SCOPED_TRACE(std::to_string(lower) + ".." + std::to_string(upper));
        bar.SetRange(lower, upper);
        bar.SetPos(5);
        EXPECT_EQ(Render().Count(kUnpainted, 0, kClientWidth), kClientWidth * kClientHeight);

        counter.paints = 0;
        ::InvalidateRect(hwnd(), nullptr, TRUE);
        ::UpdateWindow(hwnd());
        EXPECT_EQ(counter.paints, 1);
        EXPECT_FALSE(RepaintPending()) << "the paint request would come back";
    }
    // A proper range again: the next position repaints.
    bar.SetRange(0, 10);
    counter.paints = 0;
    bar.SetPos(5);
    EXPECT_EQ(counter.paints, 1);
}

TEST_F(ProgressBar, RepaintsAtOnceOnlyWhenTheFilledWidthChanges) {
    struct Case {
        int from, to;
        bool repaints;
    };
    // 200 pixels over 0..1000: five positions to the pixel.
    const Case cases[] = {
        {500, 500, false},
        {500, 501, false},
        {500, 505, true},
        {500, 0, true},
    };
    bar.SetRange(0, 1000);
    PaintCounter counter(hwnd());
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " to " + std::to_string(c.to));
        bar.SetPos(c.from);
        ::UpdateWindow(hwnd());
        counter.paints = 0;
        EXPECT_EQ(bar.SetPos(c.to), c.from);
        // Counted before any message is handled: the repaint happened inside SetPos.
        EXPECT_EQ(counter.paints, c.repaints ? 1 : 0);
        EXPECT_FALSE(RepaintPending());
        EXPECT_EQ(bar.GetPos(), c.to);
    }
}

TEST_F(ProgressBar, ResizingMakesTheNextPositionRepaint) {
    bar.SetRange(0, 10);
    bar.SetPos(5);
    // Only the height changes, so the filled width stays the same.
    ::SetWindowPos(hwnd(), nullptr, 0, 0, kClientWidth + 2, kClientHeight + 12,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::UpdateWindow(hwnd());
    PaintCounter counter(hwnd());
    bar.SetPos(5);
    EXPECT_EQ(counter.paints, 1);
    bar.SetPos(5);
    EXPECT_EQ(counter.paints, 1);
}

TEST_F(ProgressBar, RepaintsForANewCaptionOnly) {
    struct Case {
        const char* first;
        const char* second;  // null: WM_SETTEXT without a text
        bool repaints;
    };
    const Case cases[] = {
        {"a.cab is installed.", "a.cab is installed.", false},
        {"a.cab is installed.", "b.cab is installed.", true},
        {"a.cab is installed.", "A.cab is installed.", true},
        {"", nullptr, false},
        {"a.cab is installed.", nullptr, true},
    };
    PaintCounter counter(hwnd());
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.first) + " then " + (c.second ? c.second : "(null)"));
        SetCaption(c.first);
        ::UpdateWindow(hwnd());
        counter.paints = 0;
        SetCaption(c.second);
        EXPECT_EQ(RepaintPending(), c.repaints);
        ::UpdateWindow(hwnd());
        EXPECT_EQ(counter.paints, c.repaints ? 1 : 0);
        EXPECT_EQ(bar.GetText(), c.second ? c.second : "");
    }
}

TEST_F(ProgressBar, RepaintsWhenTheTextIsShownOrHidden) {
    struct Case {
        bool from, to, repaints;
    };
    const Case cases[] = {{true, false, true}, {false, true, true}, {true, true, false}, {false, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " to " + std::to_string(c.to));
        bar.SetShowText(c.from);
        ::UpdateWindow(hwnd());
        bar.SetShowText(c.to);
        EXPECT_EQ(RepaintPending(), c.repaints);
        EXPECT_EQ(bar.GetShowText(), c.to);
    }
}

TEST_F(ProgressBar, GetTextCopiesATerminatedPrefix) {
    SetCaption("Installing");
    struct Case {
        size_t size;
        LRESULT copied;
        const char* expected;
    };
    const Case cases[] = {
        {1, 0, ""}, {5, 4, "Inst"}, {10, 9, "Installin"}, {11, 10, "Installing"}, {64, 10, "Installing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        std::string buffer(c.size, 'X');
        EXPECT_EQ(::SendMessageA(hwnd(), WM_GETTEXT, c.size, reinterpret_cast<LPARAM>(buffer.data())), c.copied);
        EXPECT_STREQ(buffer.c_str(), c.expected);
    }
    char untouched = 'X';
    EXPECT_EQ(::SendMessageA(hwnd(), WM_GETTEXT, 0, reinterpret_cast<LPARAM>(&untouched)), 0);
    EXPECT_EQ(untouched, 'X');
    EXPECT_EQ(bar.GetWindowText(), "Installing");
}

TEST_F(ProgressBar, StepsFromTheStoredPositionWithoutClamping) {
    bar.SetRange(0, 10);
    EXPECT_EQ(bar.SetStep(4), 1);
    EXPECT_EQ(bar.GetStep(), 4);
    const int expectedPrevious[] = {0, 4, 8, 12};
    for (int previous : expectedPrevious) EXPECT_EQ(bar.StepIt(), previous);
    EXPECT_EQ(bar.GetPos(), 16);

    // A step past the largest position stops there instead of wrapping round.
    bar.SetPos(INT_MAX - 1);
    bar.StepIt();
    EXPECT_EQ(bar.GetPos(), INT_MAX);
}

TEST(ProgressBarWithoutWindow, StoresSettingsButNoPosition) {
    PercentProgressCtrl bar;
    EXPECT_EQ(bar.SetPos(5), -1);
    EXPECT_EQ(bar.StepIt(), -1);
    EXPECT_EQ(bar.GetPos(), 0);

    bar.SetRange(2, 8);
    EXPECT_EQ(bar.SetStep(3), 1);
    bar.SetShowText(false);
    int lower = 0, upper = 0;
    bar.GetRange(lower, upper);
    EXPECT_EQ(lower, 2);
    EXPECT_EQ(upper, 8);
    EXPECT_EQ(bar.GetStep(), 3);
    EXPECT_FALSE(bar.GetShowText());
    EXPECT_EQ(bar.GetText(), "");
}

TEST_F(ProgressBar, LosesItsPositionWithItsWindow) {
    bar.SetPos(3);
    window.reset();
    EXPECT_EQ(bar.SetPos(5), -1);
    EXPECT_EQ(bar.GetPos(), 3);
}

TEST_F(ProgressBar, DoubleByteCaptionIsCutBetweenCharacters) {
    if (::GetACP() != 949) GTEST_SKIP() << "needs ANSI code page 949";
    SetCaption("\xB0\xA1\xB0\xA1");  // two characters of two bytes each
    char buffer[4];
    EXPECT_EQ(::SendMessageA(hwnd(), WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer)), 2);
    EXPECT_STREQ(buffer, "\xB0\xA1");
}

}  // namespace
}  // namespace kelvane
