#include "framework/window.h"

#include <vector>

namespace fw {
namespace {
constexpr char kObjectProperty[] = "Kelvane.WindowObject";
}

std::string Window::GetWindowText() const {
    int length = ::GetWindowTextLengthA(hwnd_);
    std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
    int n = ::GetWindowTextA(hwnd_, buffer.data(), length + 1);
    return std::string(buffer.data(), n > 0 ? static_cast<size_t>(n) : 0);
}

bool SubclassedWindow::Subclass(HWND window) {
    if (!window || hwnd_) return false;
    hwnd_ = window;
    ::SetPropA(window, kObjectProperty, this);
    // An ANSI procedure: the control's messages then arrive with ANSI texts,
    // and CallWindowProcA translates for the control's own procedure.
    original_ = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassedWindow::Procedure)));
    return original_ != nullptr;
}

void SubclassedWindow::Unsubclass() {
    if (!hwnd_) return;
    if (::IsWindow(hwnd_) && original_) {
        ::SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
        ::RemovePropA(hwnd_, kObjectProperty);
    }
    hwnd_ = nullptr;
    original_ = nullptr;
}

LRESULT SubclassedWindow::Default() {
    return ::CallWindowProcA(original_, hwnd_, current_.message, current_.wParam, current_.lParam);
}

LRESULT CALLBACK SubclassedWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<SubclassedWindow*>(::GetPropA(window, kObjectProperty));
    if (!self) return ::DefWindowProcA(window, message, wParam, lParam);

    CurrentMessage outer = self->current_;  // handlers may be re-entered
    self->current_ = {message, wParam, lParam};
    LRESULT result = 0;
    if (!self->Dispatch(message, wParam, lParam, result)) result = self->Default();
    self->current_ = outer;

    if (message == WM_NCDESTROY) self->Unsubclass();
    return result;
}

}  // namespace fw
