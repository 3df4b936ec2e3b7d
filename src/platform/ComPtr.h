// An owning COM interface pointer: releases what it holds when destroyed or
// before it is overwritten through put(). Interface identifiers are passed
// explicitly, since not every compiler has __uuidof.
#pragma once

#include "platform/Com.h"

#include <utility>

namespace Platform {

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference to `p`.
    explicit ComPtr(T* p)
        : p_(p)
    {
        if (p_ != nullptr) {
            p_->AddRef();
        }
    }
    ComPtr(const ComPtr& other)
        : ComPtr(other.p_)
    {}
    ComPtr(ComPtr&& other) noexcept
        : p_(std::exchange(other.p_, nullptr))
    {}
    ComPtr& operator=(ComPtr other) noexcept
    {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComPtr() { reset(); }

    // Takes over a reference the caller already owns.
    static ComPtr attach(T* p)
    {
        ComPtr result;
        result.p_ = p;
        return result;
    }
    // Gives up the reference without releasing it.
    T* detach() { return std::exchange(p_, nullptr); }

    void reset()
    {
        if (T* old = std::exchange(p_, nullptr)) {
            old->Release();
        }
    }

    // For out-parameters: releases what is held, then lends the slot.
    T** put()
    {
        reset();
        return &p_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// QueryInterface on `object` for `iid`: the result, or the failing HRESULT
// with a null pointer. A null object gives E_POINTER. This is the one place
// that decides what a failed query leaves: whatever the callee wrote into its
// out-parameter is dropped without a release.
template <class T>
HRESULT queryInterfaceNoThrow(IUnknown* object, REFIID iid, ComPtr<T>& result)
{
    result.reset();
    if (object == nullptr) {
        return E_POINTER;
    }
    T* found = nullptr;
    const HRESULT hr = object->QueryInterface(iid, reinterpret_cast<void**>(&found));
    if (SUCCEEDED(hr)) {
        result = ComPtr<T>::attach(found);
    }
    return hr;
}

// The same, throwing _com_error with the failing HRESULT.
template <class T>
ComPtr<T> queryInterface(IUnknown* object, REFIID iid)
{
    ComPtr<T> result;
    const HRESULT hr = queryInterfaceNoThrow(object, iid, result);
    if (FAILED(hr)) {
        throw _com_error(hr);
    }
    return result;
}

} // namespace Platform
