// An owned BSTR, and the conversions between COM text (OLECHAR, 16-bit on
// every platform) and the char16_t text of the core.
#pragma once

#include "platform/Com.h"
#include "platform/UniqueAny.h"

#include <new>
#include <string>
#include <string_view>

namespace Platform {

inline const char16_t* asUtf16(const OLECHAR* text)
{
    return reinterpret_cast<const char16_t*>(text);
}
inline const OLECHAR* asOleText(const char16_t* text)
{
    return reinterpret_cast<const OLECHAR*>(text);
}

// The text of a BSTR or OLECHAR string up to its first NUL; null gives "".
inline std::u16string toU16String(const OLECHAR* text)
{
    return text == nullptr ? std::u16string() : std::u16string(asUtf16(text));
}

class Bstr {
public:
    Bstr() = default;
    // Throws std::bad_alloc when the string cannot be allocated.
    explicit Bstr(std::u16string_view text)
        : text_(SysAllocStringLen(asOleText(text.data()), static_cast<UINT>(text.size())))
    {
        if (!text_) {
            throw std::bad_alloc();
        }
    }

    BSTR get() const { return text_.get(); }
    // For out-parameters: frees what is held, then lends the slot.
    BSTR* put() { return text_.put(); }
    BSTR detach() { return text_.release(); }
    std::u16string text() const { return toU16String(text_.get()); }

private:
    UniqueNull<BSTR, &SysFreeString> text_;
};

} // namespace Platform
