#include "lang/RangeCheck.h"

namespace Lang::Platform::Detail {

void throwRangeError(const char* operation, const char* unitName, std::ptrdiff_t required,
                     std::ptrdiff_t available)
{
    throw std::range_error(std::string("Invalid pointer range passed to ") + operation +
                           ": type=" + unitName + ", required=" + std::to_string(required) +
                           ", available=" + std::to_string(available));
}

} // namespace Lang::Platform::Detail
