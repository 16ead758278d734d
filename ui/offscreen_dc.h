// A device context that collects drawing in a memory bitmap and puts the
// finished picture on its target in one BitBlt, so that the target never
// shows a half-drawn state.
#pragma once

#include <windows.h>

#include "framework/raii.h"

namespace kelvane {

class OffscreenDC {
public:
    // Covers the target's clip box, in the target's logical coordinates.
    // Printer contexts, and targets for which no memory bitmap can be made,
    // are drawn on directly.
    explicit OffscreenDC(HDC target);
    OffscreenDC(const OffscreenDC&) = delete;
    OffscreenDC& operator=(const OffscreenDC&) = delete;
    virtual ~OffscreenDC();

    // The context to draw on.
    HDC get() const { return offscreen_ ? memory_.get() : target_; }
    bool IsOffscreen() const { return offscreen_; }
    const RECT& Rect() const { return rect_; }

private:
    // Declared first so that it is released last, after the bitmap.
    fw::unique_memory_dc memory_;
    fw::unique_hbitmap bitmap_;
    HGDIOBJ previousBitmap_ = nullptr;
    HDC target_;
    RECT rect_{};
    bool offscreen_ = false;
};

}  // namespace kelvane
