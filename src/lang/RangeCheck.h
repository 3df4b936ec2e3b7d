// The pointer-range check that every encoding operation makes before it reads
// or writes a buffer.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace Lang::Platform::Detail {

[[noreturn]] void throwRangeError(const char* operation, const char* unitName,
                                  std::ptrdiff_t required, std::ptrdiff_t available);

// Throws std::range_error naming `operation` unless [begin, end) is ordered and
// holds at least `required` units.
template <class Unit>
void checkRange(const Unit* begin, const Unit* end, std::ptrdiff_t required, const char* operation,
                const char* unitName)
{
    const std::ptrdiff_t available = end - begin;
    if (available < 0 || available < required) {
        throwRangeError(operation, unitName, required, available);
    }
}

} // namespace Lang::Platform::Detail
