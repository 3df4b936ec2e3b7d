// BSTR allocation for builds that are not Windows, with the Windows layout: a
// 32-bit byte count, the units, and a terminating NUL unit.
#include "ComAbi.h"

#include <cstdlib>
#include <limits>

namespace {

constexpr std::size_t kPrefixBytes = sizeof(std::uint32_t);

std::uint32_t* prefixOf(BSTR text)
{
    return reinterpret_cast<std::uint32_t*>(reinterpret_cast<unsigned char*>(text) - kPrefixBytes);
}

} // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length)
{
    if (length > (std::numeric_limits<std::uint32_t>::max() - kPrefixBytes) / sizeof(OLECHAR) - 1) {
        return nullptr;
    }
    const std::size_t bytes = std::size_t{length} * sizeof(OLECHAR);
    void* block = std::malloc(kPrefixBytes + bytes + sizeof(OLECHAR));
    if (block == nullptr) {
        return nullptr;
    }
    *static_cast<std::uint32_t*>(block) = static_cast<std::uint32_t>(bytes);
    BSTR result = reinterpret_cast<BSTR>(static_cast<unsigned char*>(block) + kPrefixBytes);
    if (text != nullptr) {
        std::memcpy(result, text, bytes);
    } else {
        std::memset(result, 0, bytes);
    }
    result[length] = u'\0';
    return result;
}

BSTR SysAllocString(const OLECHAR* text)
{
    if (text == nullptr) {
        return nullptr;
    }
    UINT length = 0;
    while (text[length] != u'\0') {
        ++length;
    }
    return SysAllocStringLen(text, length);
}

void SysFreeString(BSTR text)
{
    if (text != nullptr) {
        std::free(prefixOf(text));
    }
}

UINT SysStringLen(BSTR text)
{
    return text == nullptr ? 0 : static_cast<UINT>(*prefixOf(text) / sizeof(OLECHAR));
}
