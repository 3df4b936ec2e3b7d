#include "lang/CharacterProperties.h"
#include "lang/CharacterPropertiesFigures.h"

#include <gtest/gtest.h>

namespace CP = Lang::CharacterProperties;

namespace {

std::uint64_t fnv1a(std::uint64_t hash, std::uint32_t codePoint)
{
    for (int shift = 0; shift < 32; shift += 8) {
        hash ^= (codePoint >> shift) & 0xFF;
        hash *= 0x100000001B3ull;
    }
    return hash;
}

} // namespace

// The figures were computed from the character database itself, not from the
// table, so this proves the table and its lookup over every code point.
TEST(CharacterProperties, AgreesWithTheUnicodeDataForEveryCodePoint)
{
    for (const auto& figure : Lang::CharacterPropertiesFigures::figures) {
        SCOPED_TRACE(figure.name);
        std::uint32_t count = 0;
        std::uint64_t checksum = 0xCBF29CE484222325ull;
        for (std::int32_t cp = 0; cp <= CP::lastCodePoint; ++cp) {
            if ((CP::flags(cp) & figure.flag) != 0) {
                ++count;
                checksum = fnv1a(checksum, static_cast<std::uint32_t>(cp));
            }
        }
        EXPECT_EQ(count, figure.count);
        EXPECT_EQ(checksum, figure.checksum);
    }
}

TEST(CharacterProperties, QueriesAndCodePointsOutsideTheTable)
{
    EXPECT_TRUE(CP::isAlpha(0x2FA1D)); // the last code point of the table
    EXPECT_FALSE(CP::isAlpha(':'));
    EXPECT_TRUE(CP::isSpace(0x180E)); // white space in Unicode 5.2
    EXPECT_FALSE(CP::isSpace(0x200B));
    for (std::int32_t outside : {-1, 0x2FA1E, 0x10FFFF, 0x7FFFFFFF}) {
        EXPECT_EQ(CP::flags(outside), 0u) << outside;
    }
}
