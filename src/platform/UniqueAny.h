// The one owner of the project's handles, in the spirit of WIL's unique_any:
// it closes what it holds when destroyed or given something else, so that no
// error path frees by hand. What a handle is, what its invalid value is and
// how it is closed come from its traits.
#pragma once

#include <utility>

namespace Platform {

// Traits provide
//     using Type = ...;                 the handle, a cheap value
//     static Type invalid() noexcept;   the value that owns nothing
//     static void close(Type) noexcept; frees a valid handle
template <class Traits>
class UniqueAny {
public:
    using Type = typename Traits::Type;

    UniqueAny() noexcept = default;
    explicit UniqueAny(Type value) noexcept
        : value_(value)
    {}
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    UniqueAny(UniqueAny&& other) noexcept
        : value_(other.release())
    {}
    UniqueAny& operator=(UniqueAny&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    ~UniqueAny() { reset(); }

    Type get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::invalid(); }

    // Closes what is held and takes `value` instead.
    void reset(Type value = Traits::invalid()) noexcept
    {
        const Type old = std::exchange(value_, value);
        if (old != Traits::invalid()) {
            Traits::close(old);
        }
    }
    // For out-parameters: closes what is held, then lends the slot.
    Type* put() noexcept
    {
        reset();
        return &value_;
    }
    // Gives the handle up without closing it.
    Type release() noexcept { return std::exchange(value_, Traits::invalid()); }

private:
    Type value_ = Traits::invalid();
};

// Traits of a handle whose invalid value is its zero (a null pointer), closed
// by the function `Close`.
template <class T, auto Close>
struct NullHandleTraits {
    using Type = T;
    static constexpr T invalid() noexcept { return T{}; }
    static void close(T value) noexcept { Close(value); }
};

template <class T, auto Close>
using UniqueNull = UniqueAny<NullHandleTraits<T, Close>>;

} // namespace Platform
