#include "ui/offscreen_dc.h"

namespace kelvane {
namespace {

bool IsPrinter(HDC dc) {
    int technology = ::GetDeviceCaps(dc, TECHNOLOGY);
    return technology == DT_RASPRINTER || technology == DT_PLOTTER;
}

}  // namespace

OffscreenDC::OffscreenDC(HDC target) : target_(target) {
    if (!target_ || IsPrinter(target_)) return;
    if (::GetClipBox(target_, &rect_) == ERROR || ::IsRectEmpty(&rect_)) return;

    fw::unique_memory_dc memory(::CreateCompatibleDC(target_));
    fw::unique_hbitmap bitmap(
        ::CreateCompatibleBitmap(target_, rect_.right - rect_.left, rect_.bottom - rect_.top));
    if (!memory || !bitmap) return;
    HGDIOBJ previous = ::SelectObject(memory.get(), bitmap.get());
    if (!previous || previous == HGDI_ERROR) return;

    ::SetWindowOrgEx(memory.get(), rect_.left, rect_.top, nullptr);
    memory_ = std::move(memory);
    bitmap_ = std::move(bitmap);
    previousBitmap_ = previous;
    offscreen_ = true;
}

OffscreenDC::~OffscreenDC() {
    if (!offscreen_) return;
    ::BitBlt(target_, rect_.left, rect_.top, rect_.right - rect_.left, rect_.bottom - rect_.top, memory_.get(),
             rect_.left, rect_.top, SRCCOPY);
    ::SelectObject(memory_.get(), previousBitmap_);
}

}  // namespace kelvane
