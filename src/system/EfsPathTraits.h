// Marl::Efs::PathTraits: the path rules of the handset's file system.
#pragma once

#include <cstdint>
#include <string>

namespace Marl::Efs {

// "/" is the only separator; there are no drive letters ("a:b" is an ordinary
// name), every character may appear in a name, and a name may start with ".."
// ("..x"), as the handset allows.
class PathTraits {
public:
    static constexpr char16_t separator = u'/';
    static constexpr bool hasVolumes = false;
    // The most dots a component may start with.
    static constexpr int maxDots = 2;
    // The most leading dots a component may have and still go on with other
    // characters: as many as it may start with at all.
    static constexpr int maxDotsBeforeText = maxDots;

    static constexpr bool isSeparator(std::int32_t c) { return c == u'/'; }

    // The characters refused after the root: none.
    static const std::u16string& invalidChars();
    // The reason given for an invalid character (never raised: there are none).
    static const std::string& invalidCharsMsg();
};

} // namespace Marl::Efs
