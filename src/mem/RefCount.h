// Intrusive reference counting for the device file objects: Rc::IRefCount is
// the interface, Rc::Heap<T> adds the interlocked count to a class, and
// Rc::Pointer<T> holds one reference.
#pragma once

#include "lang/Exception.h"
#include "lang/Throw.h"
#include "lang/TypeName.h"

#include <atomic>
#include <cstdint>
#include <typeinfo>
#include <utility>

namespace Rc {

class IRefCount {
public:
    // Each returns the count after the call; Release destroys the object at 0.
    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t RefCount() const = 0;
    virtual std::uint32_t Release() = 0;
    virtual ~IRefCount() = default;
};

// T with its count. A new object starts with one reference, owned by its
// creator and handed to an Rc::Pointer with Pointer::adopt.
template <class T>
class Heap final : public T {
public:
    template <class... Args>
    explicit Heap(Args&&... args)
        : T(std::forward<Args>(args)...)
    {}

    std::uint32_t AddRef() override { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }
    std::uint32_t RefCount() const override { return count_.load(std::memory_order_relaxed); }
    std::uint32_t Release() override
    {
        const std::uint32_t remaining = count_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (remaining == 0) {
            delete this;
        }
        return remaining;
    }

private:
    std::atomic<std::uint32_t> count_{1};
};

template <class T>
class Pointer {
public:
    Pointer() = default;

    // Takes over the creator's reference of a new object, without AddRef.
    static Pointer adopt(T* created)
    {
        Pointer pointer;
        pointer.p_ = created;
        return pointer;
    }

    Pointer(const Pointer& other) { *this = other.p_; }
    template <class U>
    Pointer(const Pointer<U>& other)
    {
        *this = other.get();
    }
    Pointer(Pointer&& other) noexcept
        : p_(std::exchange(other.p_, nullptr))
    {}
    ~Pointer()
    {
        if (p_ != nullptr) {
            p_->Release();
        }
    }

    // The new object gets its reference before the old one loses its own, so
    // assigning an object that the old one keeps alive is safe.
    Pointer& operator=(T* p)
    {
        if (p != p_) {
            if (p != nullptr) {
                p->AddRef();
            }
            T* old = std::exchange(p_, p);
            if (old != nullptr) {
                old->Release();
            }
        }
        return *this;
    }
    Pointer& operator=(const Pointer& other) { return *this = other.p_; }
    Pointer& operator=(Pointer&& other) noexcept
    {
        Pointer(std::move(other)).swap(*this);
        return *this;
    }

    void swap(Pointer& other) noexcept { std::swap(p_, other.p_); }

    // Throws Lang::NullPointerException when nothing is held.
    T* operator->() const
    {
        if (p_ == nullptr) {
            const std::string location = Lang::locationText(
                "Mem/RefCount", 725,
                "Rc::Pointer<" + Lang::printableTypeName(typeid(T)) + ">::operator ->");
            Lang::throwAt(location, Lang::NullPointerException(typeid(T)),
                          "Lang::NullPointerException(typeid(_PT))");
        }
        return p_;
    }

    T* get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// A new Rc::Heap<T>, held by a Pointer to T's base B.
template <class T, class B = T, class... Args>
Pointer<B> makeHeap(Args&&... args)
{
    return Pointer<B>::adopt(new Heap<T>(std::forward<Args>(args)...));
}

} // namespace Rc
