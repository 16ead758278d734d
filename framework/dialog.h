// Modal dialogs made from resource templates.
#pragma once

#include <windows.h>

#include "framework/window.h"

namespace fw {

class Dialog : public Window {
public:
    explicit Dialog(UINT templateId, HWND parent = nullptr) : templateId_(templateId), parent_(parent) {}
    ~Dialog() override = default;

    // Creates the dialog from its template and runs it until EndDialog;
    // returns the code given to EndDialog, or -1 when it could not be created.
    INT_PTR DoModal();
    void EndDialog(INT_PTR result);
    // EndDialog has been called: the dialog goes away once the current
    // message is handled.
    bool HasEnded() const { return ended_; }

    // Leaves the message now being handled to the dialog manager as well.
    LRESULT Default() override;

    HWND GetDlgItem(int id) const { return ::GetDlgItem(hwnd_, id); }
    void SetTimer(UINT_PTR id, UINT milliseconds) { ::SetTimer(hwnd_, id, milliseconds, nullptr); }
    void KillTimer(UINT_PTR id) { ::KillTimer(hwnd_, id); }

    // Binds the control objects again; a control already bound stays as it is.
    void UpdateData() { DoDataExchange(); }

protected:
    // Binds the control objects (DoDataExchange) and returns TRUE.
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange() {}
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    virtual bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;

    void BindControl(int id, Control& control);
    void BindControl(int id, SubclassedWindow& control);

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool HandleOwnMessage(UINT message, WPARAM wParam, LRESULT& result);

    UINT templateId_;
    HWND parent_;
    bool ended_ = false;
    bool defaultRequested_ = false;
};

template <class T>
class MappedDialog : public Dialog {
public:
    using Dialog::Dialog;

protected:
    bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        auto* entry = FindHandler<T>(T::MessageMap(), message, wParam);
        if (!entry) return false;
        result = entry->invoke(static_cast<T&>(*this), wParam, lParam);
        return true;
    }
};

}  // namespace fw
