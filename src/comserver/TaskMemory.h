// Memory of the task allocator, which a client frees with CoTaskMemFree, as it
// does the names of STATSTG records.
#pragma once

#include "platform/Com.h"
#include "platform/UniqueAny.h"

#include <cstring>
#include <string_view>

namespace ComServer {

template <class T>
using TaskMemory = Platform::UniqueNull<T*, &CoTaskMemFree>;

// A NUL-terminated copy of `text` from the task allocator; empty when the
// allocator has no room.
inline TaskMemory<OLECHAR> taskMemoryCopy(std::u16string_view text)
{
    const std::size_t bytes = text.size() * sizeof(char16_t);
    TaskMemory<OLECHAR> copy(static_cast<LPOLESTR>(CoTaskMemAlloc(bytes + sizeof(char16_t))));
    if (copy) {
        std::memcpy(copy.get(), text.data(), bytes);
        copy.get()[text.size()] = 0;
    }
    return copy;
}

} // namespace ComServer
