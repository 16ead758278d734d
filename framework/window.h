// Windows with message maps.
//
// A class lists the messages it handles in a table:
//
//   std::span<const fw::MessageEntry<Bar>> Bar::MessageMap() {
//       static constexpr fw::MessageEntry<Bar> map[] = {
//           fw::OnMessage<&Bar::OnPaint>(WM_PAINT),
//           fw::OnCommand<&Bar::OnInstall>(1003),
//       };
//       return map;
//   }
//
// and derives from fw::MappedWindow<Bar> (a subclassed control) or
// fw::MappedDialog<Bar> (a dialog). A handler that wants the platform's own
// handling as well calls Default().
#pragma once

#include <windows.h>

#include <span>
#include <string>

namespace fw {

template <class T>
struct MessageEntry {
    UINT message;
    UINT commandId;  // WM_COMMAND entries: the command; other entries: unused
    LRESULT (*invoke)(T& self, WPARAM wParam, LPARAM lParam);
};

namespace detail {
template <class>
struct MemberOwner;
template <class C, class R, class... A>
struct MemberOwner<R (C::*)(A...)> {
    using type = C;
};
}  // namespace detail

// A message handler: LRESULT Handler(WPARAM, LPARAM).
template <auto Handler>
constexpr auto OnMessage(UINT message) {
    using T = typename detail::MemberOwner<decltype(Handler)>::type;
    return MessageEntry<T>{message, 0, [](T& self, WPARAM w, LPARAM l) -> LRESULT { return (self.*Handler)(w, l); }};
}

// A command handler: void Handler().
template <auto Handler>
constexpr auto OnCommand(UINT id) {
    using T = typename detail::MemberOwner<decltype(Handler)>::type;
    return MessageEntry<T>{WM_COMMAND, id, [](T& self, WPARAM, LPARAM) -> LRESULT {
                               (self.*Handler)();
                               return 0;
                           }};
}

// What every window object shares: its handle, the message being handled and
// the operations the program uses on it.
class Window {
public:
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window() = default;

    HWND Handle() const { return hwnd_; }
    bool HasWindow() const { return hwnd_ && ::IsWindow(hwnd_); }

    void SetWindowText(const std::string& text) { ::SetWindowTextA(hwnd_, text.c_str()); }
    std::string GetWindowText() const;
    void EnableWindow(bool enable) { ::EnableWindow(hwnd_, enable ? TRUE : FALSE); }
    bool IsWindowEnabled() const { return ::IsWindowEnabled(hwnd_) != FALSE; }
    bool IsWindowVisible() const { return ::IsWindowVisible(hwnd_) != FALSE; }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageA(hwnd_, message, wParam, lParam);
    }

    // The platform's handling of the message now being handled.
    virtual LRESULT Default() = 0;

protected:
    struct CurrentMessage {
        UINT message = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
    };

    HWND hwnd_ = nullptr;
    CurrentMessage current_;
};

// Finds the handler of a message in a map; returns nullptr when there is none.
template <class T>
const MessageEntry<T>* FindHandler(std::span<const MessageEntry<T>> map, UINT message, WPARAM wParam) {
    for (const auto& entry : map) {
        if (entry.message != message) continue;
        if (message == WM_COMMAND && entry.commandId != LOWORD(wParam)) continue;
        return &entry;
    }
    return nullptr;
}

// A control created by a dialog template and taken over by an object: its
// messages go first through the object's map, then to the control's own
// window procedure.
class SubclassedWindow : public Window {
public:
    ~SubclassedWindow() override { Unsubclass(); }

    bool Subclass(HWND window);
    void Unsubclass();
    LRESULT Default() override;

protected:
    virtual bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    WNDPROC original_ = nullptr;
};

template <class T>
class MappedWindow : public SubclassedWindow {
protected:
    bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        auto* entry = FindHandler<T>(T::MessageMap(), message, wParam);
        if (!entry) return false;
        result = entry->invoke(static_cast<T&>(*this), wParam, lParam);
        return true;
    }
};

// A control the program only talks to (buttons): no messages of its own.
class Control : public Window {
public:
    void Attach(HWND window) { hwnd_ = window; }
    LRESULT Default() override { return 0; }
};

}  // namespace fw
