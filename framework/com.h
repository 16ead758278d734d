// COM object support: an interface map, one reference count shared by all
// interfaces of an object, and destruction when the count reaches zero.
//
//   class Thing : public fw::ComObject<Thing, IFoo, IBar> {
//   public:
//       static std::span<const fw::InterfaceEntry<Thing>> InterfaceMap();
//       ...IFoo and IBar methods...
//   };
//   auto thing = fw::MakeComObject<Thing>(args...);   // count 1, held by `thing`
//
// IUnknown itself is answered with the map's first interface.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <memory>
#include <span>
#include <utility>

#include "framework/raii.h"

namespace fw {

template <class T>
struct InterfaceEntry {
    const IID* iid;
    void* (*cast)(T* self);
};

// One row of an interface map: the identifier and the base it is answered with.
template <class T, class I>
constexpr InterfaceEntry<T> Interface(const IID& iid) {
    return {&iid, [](T* self) -> void* { return static_cast<I*>(self); }};
}

template <class Derived, class... Interfaces>
class ComObject : public Interfaces... {
public:
    ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        auto map = Derived::InterfaceMap();
        if (map.empty()) return E_NOINTERFACE;
        auto* self = static_cast<Derived*>(this);
        if (::IsEqualIID(iid, IID_IUnknown)) {
            *object = map.front().cast(self);
        } else {
            for (const auto& entry : map) {
                if (::IsEqualIID(iid, *entry.iid)) {
                    *object = entry.cast(self);
                    break;
                }
            }
        }
        if (!*object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }

    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&references_)); }

    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = ::InterlockedDecrement(&references_);
        if (left == 0) {
            // The object was made by MakeComObject; this takes it back.
            std::unique_ptr<Derived> owner(static_cast<Derived*>(this));
        }
        return static_cast<ULONG>(left);
    }

protected:
    virtual ~ComObject() = default;

private:
    LONG references_ = 1;  // the creation reference
};

// Creates a COM object; the returned pointer holds its creation reference.
template <class T, class... Args>
com_ptr<T> MakeComObject(Args&&... args) {
    auto object = std::make_unique<T>(std::forward<Args>(args)...);
    return com_ptr<T>::adopt(object.release());
}

}  // namespace fw
