#include "lang/CharacterProperties.h"

#include <algorithm>
#include <iterator>

namespace Lang::CharacterProperties {

std::uint32_t flags(std::int32_t codePoint)
{
    if (codePoint < 0 || codePoint > lastCodePoint) {
        return 0;
    }
    using CharacterPropertiesData::Run;
    const Run* begin = CharacterPropertiesData::runs;
    const Run* end = begin + CharacterPropertiesData::runCount;
    // The first run starts at U+0000, so the run before the first one that
    // starts above the code point always exists.
    const Run* next =
        std::upper_bound(begin, end, static_cast<std::uint32_t>(codePoint),
                         [](std::uint32_t cp, const Run& run) { return cp < run.first; });
    return std::prev(next)->flags;
}

} // namespace Lang::CharacterProperties
