#include "framework/dialog.h"

#include <utility>

namespace fw {
namespace {
constexpr char kObjectProperty[] = "Kelvane.DialogObject";

// Messages whose result a dialog procedure returns itself instead of through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
    switch (message) {
    case WM_INITDIALOG:
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
        return true;
    default:
        return false;
    }
}
}  // namespace

INT_PTR Dialog::DoModal() {
    ended_ = false;
    return ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId_), parent_,
                             &Dialog::Procedure, reinterpret_cast<LPARAM>(this));
}

void Dialog::EndDialog(INT_PTR result) {
    ended_ = true;
    ::EndDialog(hwnd_, result);
}

LRESULT Dialog::Default() {
    defaultRequested_ = true;
    return 0;
}

BOOL Dialog::OnInitDialog() {
    DoDataExchange();
    return TRUE;
}

void Dialog::BindControl(int id, Control& control) {
    if (!control.Handle()) control.Attach(GetDlgItem(id));
}

void Dialog::BindControl(int id, SubclassedWindow& control) {
    if (!control.Handle()) control.Subclass(GetDlgItem(id));
}

bool Dialog::HandleOwnMessage(UINT message, WPARAM wParam, LRESULT& result) {
    if (message == WM_INITDIALOG) {
        result = OnInitDialog();
        return true;
    }
    if (message == WM_COMMAND && HIWORD(wParam) <= BN_CLICKED) {
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            return true;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return true;
        }
    }
    return false;
}

INT_PTR CALLBACK Dialog::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        self->hwnd_ = window;
        ::SetPropA(window, kObjectProperty, self);
    } else {
        self = static_cast<Dialog*>(::GetPropA(window, kObjectProperty));
    }
    if (!self) return FALSE;

    // Handlers pump messages themselves, so this can be re-entered.
    CurrentMessage outer = std::exchange(self->current_, CurrentMessage{message, wParam, lParam});
    bool outerDefault = std::exchange(self->defaultRequested_, false);

    LRESULT result = 0;
    bool handled = self->Dispatch(message, wParam, lParam, result) || self->HandleOwnMessage(message, wParam, result);
    if (self->defaultRequested_) handled = false;

    self->current_ = outer;
    self->defaultRequested_ = outerDefault;

    if (message == WM_NCDESTROY) {
        ::RemovePropA(window, kObjectProperty);
        self->hwnd_ = nullptr;
    }
    if (!handled) return FALSE;
    if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
    return TRUE;
}

}  // namespace fw
