// Text handed to a client in memory it frees with CoTaskMemFree, as the
// names of STATSTG records are.
#pragma once

#include "platform/Com.h"

#include <cstring>
#include <string_view>

namespace Vornak {

// A NUL-terminated copy of `text` from the task allocator; null when the
// allocator has no room.
inline LPOLESTR taskMemoryCopy(std::u16string_view text)
{
    const std::size_t bytes = text.size() * sizeof(char16_t);
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes + sizeof(char16_t)));
    if (copy != nullptr) {
        std::memcpy(copy, text.data(), bytes);
        copy[text.size()] = 0;
    }
    return copy;
}

} // namespace Vornak
