#include "ui/percent_progress_ctrl.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#include "framework/raii.h"
#include "ui/offscreen_dc.h"

namespace kelvane {
namespace {

constexpr UINT kTextFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;

int SaturateToInt(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

// (position - lower) * scale / (upper - lower), truncated toward zero. Exact
// integer arithmetic: a fraction taken in floating point first can land just
// below a whole number and show, say, 29 of 100 as "28%". The range must not
// be empty; |position - lower| < 2^32 and scale < 2^31 keep the product in range.
int Scaled(int position, int lower, int upper, int scale) {
    std::int64_t offset = static_cast<std::int64_t>(position) - lower;
    std::int64_t span = static_cast<std::int64_t>(upper) - lower;
    return SaturateToInt(offset * scale / span);
}

void FillSolid(HDC dc, const RECT& area, COLORREF colour) {
    fw::unique_hbrush brush(::CreateSolidBrush(colour));
    if (brush) ::FillRect(dc, &area, brush.get());
}

// The caption over the whole client area, visible only inside `part`.
void DrawClipped(HDC dc, const std::string& caption, const RECT& client, const RECT& part, COLORREF colour) {
    if (::IsRectEmpty(&part)) return;
    int saved = ::SaveDC(dc);
    ::IntersectClipRect(dc, part.left, part.top, part.right, part.bottom);
    ::SetTextColor(dc, colour);
    RECT area = client;
    ::DrawTextA(dc, caption.c_str(), static_cast<int>(caption.size()), &area, kTextFormat);
    ::RestoreDC(dc, saved);
}

// The length of the longest prefix of `text` that has at most `limit` bytes
// and does not end inside a double-byte character.
size_t WholeCharacterPrefix(std::string_view text, size_t limit) {
    size_t length = 0;
    while (length < text.size()) {
        size_t next = length + (::IsDBCSLeadByte(static_cast<BYTE>(text[length])) ? 2 : 1);
        if (next > limit) break;
        length = std::min(next, text.size());
    }
    return length;
}

}  // namespace

PercentProgressCtrl::PercentProgressCtrl()
    : BarColour(::GetSysColor(COLOR_HIGHLIGHT)),
      BackColour(::GetSysColor(COLOR_WINDOW)),
      TextOnBackColour(::GetSysColor(COLOR_HIGHLIGHT)),
      TextOnBarColour(::GetSysColor(COLOR_WINDOW)) {}

PercentProgressCtrl::~PercentProgressCtrl() = default;

std::span<const fw::MessageEntry<PercentProgressCtrl>> PercentProgressCtrl::MessageMap() {
    static constexpr fw::MessageEntry<PercentProgressCtrl> map[] = {
        fw::OnMessage<&PercentProgressCtrl::OnEraseBackground>(WM_ERASEBKGND),
        fw::OnMessage<&PercentProgressCtrl::OnPaint>(WM_PAINT),
        fw::OnMessage<&PercentProgressCtrl::OnPrintClient>(WM_PRINTCLIENT),
        fw::OnMessage<&PercentProgressCtrl::OnSize>(WM_SIZE),
        fw::OnMessage<&PercentProgressCtrl::OnSetText>(WM_SETTEXT),
        fw::OnMessage<&PercentProgressCtrl::OnGetText>(WM_GETTEXT),
    };
    return map;
}

void PercentProgressCtrl::SetRange(int lower, int upper) {
    Lower = lower;
    Upper = upper;
}

int PercentProgressCtrl::SetPos(int position) {
    if (!HasWindow()) return -1;
    int previous = std::exchange(Pos, position);
    if (Lower >= Upper) {
        // No width to compare; the next position in a proper range repaints.
        BarWidth = -1;
        return previous;
    }
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    int width = Scaled(Pos, Lower, Upper, client.right - client.left);
    if (width != BarWidth) {
        BarWidth = width;
        // Synchronous, so that progress shows while the caller sleeps between steps.
        ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
    return previous;
}

int PercentProgressCtrl::StepIt() {
    // Pos + Step in 64 bits: a wrapped position would jump to the other end of the bar.
    return SetPos(SaturateToInt(static_cast<std::int64_t>(Pos) + Step));
}

int PercentProgressCtrl::SetStep(int step) { return std::exchange(Step, step); }

void PercentProgressCtrl::SetShowText(bool show) {
    if (HasWindow() && show != ShowText) InvalidateAll();
    ShowText = show;
}

void PercentProgressCtrl::InvalidateAll() const { ::InvalidateRect(hwnd_, nullptr, TRUE); }

LRESULT PercentProgressCtrl::OnEraseBackground(WPARAM, LPARAM) {
    // The paint covers every pixel; erasing first would only flicker.
    return TRUE;
}

LRESULT PercentProgressCtrl::OnPaint(WPARAM wParam, LPARAM) {
    // As the common controls do: a context in wParam is painted into directly.
    if (HDC dc = reinterpret_cast<HDC>(wParam)) {
        Paint(dc);
        return 0;
    }
    // The paint scope validates the area even when nothing is drawn.
    fw::paint_scope paint(hwnd_);
    Paint(paint.get());
    return 0;
}

LRESULT PercentProgressCtrl::OnPrintClient(WPARAM wParam, LPARAM lParam) {
    if ((lParam & PRF_CHECKVISIBLE) && !IsWindowVisible()) return 0;
    Paint(reinterpret_cast<HDC>(wParam));
    return 0;
}

LRESULT PercentProgressCtrl::OnSize(WPARAM, LPARAM) {
    LRESULT result = Default();
    BarWidth = -1;
    return result;
}

LRESULT PercentProgressCtrl::OnSetText(WPARAM, LPARAM lParam) {
    LRESULT result = Default();
    const char* text = reinterpret_cast<const char*>(lParam);
    std::string_view caption = text ? text : "";
    if (caption != Text) {
        Text.assign(caption);
        InvalidateAll();
    }
    return result;
}

LRESULT PercentProgressCtrl::OnGetText(WPARAM wParam, LPARAM lParam) {
    char* buffer = reinterpret_cast<char*>(lParam);
    size_t size = static_cast<size_t>(wParam);
    if (!buffer || size == 0) return 0;
    size_t count = Text.size() < size ? Text.size() : WholeCharacterPrefix(Text, size - 1);
    std::memcpy(buffer, Text.data(), count);
    buffer[count] = '\0';
    return static_cast<LRESULT>(count);
}

void PercentProgressCtrl::Paint(HDC target) const {
    // An empty range has nothing to show; the previous picture stays.
    if (!target || Lower >= Upper) return;

    RECT client{};
    ::GetClientRect(hwnd_, &client);
    // The off-screen picture covers the target's clip box; a context handed
    // over by WM_PRINTCLIENT may reach beyond this control, and what lies
    // there is not ours to overwrite. Drawing that goes straight to the
    // target leaves its settings as they were.
    int saved = ::SaveDC(target);
    ::IntersectClipRect(target, client.left, client.top, client.right, client.bottom);
    {
        OffscreenDC offscreen(target);
        Draw(offscreen.get(), client);
    }
    ::RestoreDC(target, saved);
}

void PercentProgressCtrl::Draw(HDC dc, const RECT& client) const {
    int width = client.right - client.left;
    // Positions outside the range are kept as they are; only the picture stops at the edges.
    int split = client.left + std::clamp(Scaled(Pos, Lower, Upper, width), 0, width);
    RECT bar{client.left, client.top, split, client.bottom};
    RECT back{split, client.top, client.right, client.bottom};

    FillSolid(dc, bar, BarColour);
    FillSolid(dc, back, BackColour);

    if (ShowText) {
        std::string caption = Text;
        if (caption.empty()) {
            char percentage[16];
            std::snprintf(percentage, sizeof percentage, "%d%%", Scaled(Pos, Lower, Upper, 100));
            caption = percentage;
        }
        ::SetBkMode(dc, TRANSPARENT);
        DrawClipped(dc, caption, client, bar, TextOnBarColour);
        DrawClipped(dc, caption, client, back, TextOnBackColour);
    }
}

}  // namespace kelvane
