// Owners for Win32 handles, registry keys, GDI objects and COM pointers.
// Every resource the program acquires lives in one of these.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <utility>

namespace fw {

// A move-only owner of one resource; Traits gives its type, the value that
// means "none" and how to give it back.
template <class Traits>
class unique_resource {
public:
    using type = typename Traits::type;

    unique_resource() noexcept = default;
    explicit unique_resource(type value) noexcept : value_(value) {}
    unique_resource(const unique_resource&) = delete;
    unique_resource& operator=(const unique_resource&) = delete;
    unique_resource(unique_resource&& other) noexcept : value_(other.release()) {}
    unique_resource& operator=(unique_resource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~unique_resource() { reset(); }

    type get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::invalid(); }

    void reset(type value = Traits::invalid()) noexcept {
        type old = std::exchange(value_, value);
        if (old != Traits::invalid()) Traits::close(old);
    }
    [[nodiscard]] type release() noexcept { return std::exchange(value_, Traits::invalid()); }

    // For out-parameters: gives up the current resource first.
    type* put() noexcept {
        reset();
        return &value_;
    }

private:
    type value_ = Traits::invalid();
};

namespace traits {
struct handle {
    using type = HANDLE;
    static type invalid() { return nullptr; }
    static void close(type h) { ::CloseHandle(h); }
};
struct file_handle {
    using type = HANDLE;
    static type invalid() { return INVALID_HANDLE_VALUE; }
    static void close(type h) { ::CloseHandle(h); }
};
struct find_handle {
    using type = HANDLE;
    static type invalid() { return INVALID_HANDLE_VALUE; }
    static void close(type h) { ::FindClose(h); }
};
struct hkey {
    using type = HKEY;
    static type invalid() { return nullptr; }
    static void close(type h) { ::RegCloseKey(h); }
};
struct hmodule {
    using type = HMODULE;
    static type invalid() { return nullptr; }
    static void close(type h) { ::FreeLibrary(h); }
};
struct memory_dc {
    using type = HDC;
    static type invalid() { return nullptr; }
    static void close(type h) { ::DeleteDC(h); }
};
template <class T>
struct gdi_object {
    using type = T;
    static type invalid() { return nullptr; }
    static void close(type h) { ::DeleteObject(h); }
};
struct window {
    using type = HWND;
    static type invalid() { return nullptr; }
    static void close(type h) {
        if (::IsWindow(h)) ::DestroyWindow(h);
    }
};
struct bstr {
    using type = BSTR;
    static type invalid() { return nullptr; }
    static void close(type s) { ::SysFreeString(s); }
};
struct cotaskmem {
    using type = void*;
    static type invalid() { return nullptr; }
    static void close(type p) { ::CoTaskMemFree(p); }
};
struct hlocal {
    using type = HLOCAL;
    static type invalid() { return nullptr; }
    static void close(type p) { ::LocalFree(p); }
};
struct hicon {
    using type = HICON;
    static type invalid() { return nullptr; }
    static void close(type h) { ::DestroyIcon(h); }
};
}  // namespace traits

using unique_handle = unique_resource<traits::handle>;
using unique_file = unique_resource<traits::file_handle>;
using unique_find = unique_resource<traits::find_handle>;
using unique_hkey = unique_resource<traits::hkey>;
using unique_hmodule = unique_resource<traits::hmodule>;
using unique_memory_dc = unique_resource<traits::memory_dc>;
using unique_hbitmap = unique_resource<traits::gdi_object<HBITMAP>>;
using unique_hbrush = unique_resource<traits::gdi_object<HBRUSH>>;
using unique_hrgn = unique_resource<traits::gdi_object<HRGN>>;
using unique_hfont = unique_resource<traits::gdi_object<HFONT>>;
using unique_window = unique_resource<traits::window>;
using unique_bstr = unique_resource<traits::bstr>;
using unique_cotaskmem = unique_resource<traits::cotaskmem>;
using unique_hlocal = unique_resource<traits::hlocal>;
using unique_hicon = unique_resource<traits::hicon>;

// A window's device context from GetDC, given back with ReleaseDC.
class window_dc {
public:
    explicit window_dc(HWND window) : window_(window), dc_(::GetDC(window)) {}
    window_dc(const window_dc&) = delete;
    window_dc& operator=(const window_dc&) = delete;
    ~window_dc() {
        if (dc_) ::ReleaseDC(window_, dc_);
    }
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// BeginPaint/EndPaint as one scope.
class paint_scope {
public:
    explicit paint_scope(HWND window) : window_(window) { dc_ = ::BeginPaint(window, &ps_); }
    paint_scope(const paint_scope&) = delete;
    paint_scope& operator=(const paint_scope&) = delete;
    ~paint_scope() { ::EndPaint(window_, &ps_); }
    HDC get() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT ps_{};
    HDC dc_;
};

// Selects a GDI object into a context for one scope.
class select_scope {
public:
    select_scope(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
    select_scope(const select_scope&) = delete;
    select_scope& operator=(const select_scope&) = delete;
    ~select_scope() {
        if (previous_) ::SelectObject(dc_, previous_);
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A counted COM reference.
template <class T>
class com_ptr {
public:
    com_ptr() noexcept = default;
    com_ptr(std::nullptr_t) noexcept {}
    // Takes a new reference of its own.
    explicit com_ptr(T* p) noexcept : p_(p) {
        if (p_) p_->AddRef();
    }
    com_ptr(const com_ptr& other) noexcept : com_ptr(other.p_) {}
    com_ptr(com_ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    com_ptr& operator=(const com_ptr& other) noexcept {
        com_ptr(other).swap(*this);
        return *this;
    }
    com_ptr& operator=(com_ptr&& other) noexcept {
        com_ptr(std::move(other)).swap(*this);
        return *this;
    }
    ~com_ptr() { reset(); }

    // Adopts a reference the caller already owns.
    static com_ptr adopt(T* p) noexcept {
        com_ptr result;
        result.p_ = p;
        return result;
    }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    void swap(com_ptr& other) noexcept { std::swap(p_, other.p_); }

    void reset() noexcept {
        if (T* old = std::exchange(p_, nullptr)) old->Release();
    }
    [[nodiscard]] T* detach() noexcept { return std::exchange(p_, nullptr); }

    T** put() noexcept {
        reset();
        return &p_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

    template <class U>
    com_ptr<U> query(REFIID iid) const noexcept {
        com_ptr<U> result;
        if (p_) p_->QueryInterface(iid, result.put_void());
        return result;
    }

private:
    T* p_ = nullptr;
};

}  // namespace fw
