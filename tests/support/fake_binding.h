// An IBinding for tests: everything but Abort, which the test's class supplies.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <span>

#include "framework/com.h"

namespace kelvane::test {

template <class Derived>
class FakeBinding : public fw::ComObject<Derived, IBinding> {
public:
    static std::span<const fw::InterfaceEntry<Derived>> InterfaceMap() {
        static constexpr fw::InterfaceEntry<Derived> map[] = {fw::Interface<Derived, IBinding>(IID_IBinding)};
        return map;
    }
    HRESULT STDMETHODCALLTYPE Suspend() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Resume() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPriority(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBindResult(CLSID*, DWORD*, LPOLESTR*, DWORD*) override { return E_NOTIMPL; }
};

}  // namespace kelvane::test
