// Reference counting and QueryInterface for the portable COM objects of the
// project (ports, the emulated port server): an interlocked count, and a
// QueryInterface that asks the class for a short table of its interfaces.
#pragma once

#include "platform/Com.h"

#include <atomic>

namespace Platform {

// Derived implements Interfaces... and provides
//     void* interfaceFor(REFIID iid);
// which returns the interface pointer for `iid` (IUnknown included), or null.
// A new object holds one reference, which its creator owns.
template <class Derived, class... Interfaces>
class ComBase : public Interfaces... {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = static_cast<Derived*>(this)->interfaceFor(iid);
        if (*object == nullptr) {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return references_.fetch_add(1) + 1; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = references_.fetch_sub(1) - 1;
        if (left == 0) {
            delete static_cast<Derived*>(this);
        }
        return left;
    }

protected:
    ComBase() = default;
    virtual ~ComBase() = default;
    ComBase(const ComBase&) = delete;
    ComBase& operator=(const ComBase&) = delete;

private:
    std::atomic<ULONG> references_{1};
};

} // namespace Platform
