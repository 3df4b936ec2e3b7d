#include "lang/Windows1252.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

using Lang::Platform::Windows1252;

namespace {

// Decodes the first character of `bytes`; `consumed` receives its length.
std::int32_t decodeOne(const std::string& bytes, std::ptrdiff_t& consumed)
{
    const char* read = bytes.data();
    const std::int32_t c = Windows1252::toChar(read, bytes.data() + bytes.size());
    consumed = read - bytes.data();
    return c;
}

std::string encodeOne(std::int32_t codePoint)
{
    char out[16];
    char* end = Windows1252::toStorage(codePoint, out, out + sizeof out);
    return std::string(out, end);
}

std::string rangeErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::range_error& e) {
        return e.what();
    }
    return "(no range error)";
}

} // namespace

TEST(Windows1252, EveryByteRoundTrips)
{
    for (int byte = 0; byte < 256; ++byte) {
        SCOPED_TRACE(byte);
        const std::string one(1, static_cast<char>(byte));
        std::ptrdiff_t consumed = 0;
        const std::int32_t c = decodeOne(one, consumed);
        EXPECT_EQ(consumed, 1);
        EXPECT_EQ(encodeOne(c), one);
    }
}

// The 32 bytes where Windows-1252 departs from Latin-1, as the code page is
// published; its five unassigned bytes stand for the C1 controls of their
// value. Each character also encodes back to its one byte.
TEST(Windows1252, TheBytesFrom0x80To0x9FAreThePublishedCodePage)
{
    constexpr std::int32_t kCodePage[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 0x88
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 0x98
    };
    for (int i = 0; i < 32; ++i) {
        const auto byte = static_cast<unsigned char>(0x80 + i);
        SCOPED_TRACE(static_cast<int>(byte));
        EXPECT_EQ(Windows1252::decodeByte(byte), kCodePage[i]);
        EXPECT_EQ(encodeOne(kCodePage[i]), std::string(1, static_cast<char>(byte)));
    }
}

TEST(Windows1252, EscapesOfEveryLength)
{
    struct Case {
        std::int32_t codePoint;
        const char* escape;
    };
    // Code points below 0x10 are bytes of their own, so the shortest escape
    // only ever arrives from the handset.
    const Case cases[] = {
        {0x5, "&#x5;"},       {0x80, "&#x80;"},       {0x100, "&#x100;"},
        {0x263A, "&#x263A;"}, {0x1F600, "&#x1F600;"}, {0x10FFFF, "&#x10FFFF;"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.escape);
        const std::string escape = c.escape;
        std::ptrdiff_t consumed = 0;
        EXPECT_EQ(decodeOne(escape + "tail", consumed), c.codePoint);
        EXPECT_EQ(consumed, static_cast<std::ptrdiff_t>(escape.size()));
        if (c.codePoint >= 0x10) {
            EXPECT_EQ(encodeOne(c.codePoint), escape);
            // One byte short of the escape is a range error naming its length.
            char out[16];
            EXPECT_EQ(rangeErrorOf([&] {
                          Windows1252::toStorage(c.codePoint, out, out + escape.size() - 1);
                      }),
                      "Invalid pointer range passed to Lang::Platform::Windows1252::toStorage: "
                      "type=char, required=" +
                          std::to_string(escape.size()) +
                          ", available=" + std::to_string(escape.size() - 1));
        }
    }
}

TEST(Windows1252, ReferencesThatAreNotTakenAreOrdinaryBytes)
{
    struct Case {
        const char* bytes;
        std::int32_t codePoint;
        std::ptrdiff_t consumed;
    };
    const Case cases[] = {
        {"&#65;", 'A', 5},                      // decimal
        {"&#x41;", 'A', 6},                     // hexadecimal
        {"&#x0x41;", 'A', 8},                   // strtoul takes a 0x prefix in base 16
        {"&#+65;", 'A', 6},                     // ... and a sign
        {"&#X41;", '&', 1},                     // upper-case X is no reference
        {"&#x;", '&', 1},                       // no digits
        {"&#x110000;", '&', 1},                 // beyond Unicode
        {"&#x41", '&', 1},                      // no ';'
        {"&#x41:", '&', 1},                     // digits end on another byte
        {"&#1", '&', 1},                        // fewer than four bytes
        {"&#-1;", '&', 1},                      // negated, so far beyond Unicode
        {"&#99999999999999999999999;", '&', 1}, // saturates
        {"&x41;", '&', 1},
        {"&", '&', 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        std::ptrdiff_t consumed = 0;
        EXPECT_EQ(decodeOne(c.bytes, consumed), c.codePoint);
        EXPECT_EQ(consumed, c.consumed);
    }
}

TEST(Windows1252, DigitsNeverReadBeyondTheEndAndRangesAreChecked)
{
    // The buffer ends inside the reference, although memory after it holds ';'.
    const std::string bytes = "&#x41;";
    const char* read = bytes.data();
    EXPECT_EQ(Windows1252::toChar(read, bytes.data() + 5), '&');

    read = bytes.data();
    EXPECT_EQ(rangeErrorOf([&] { Windows1252::toChar(read, read); }),
              "Invalid pointer range passed to Lang::Platform::Windows1252::toChar: "
              "type=char, required=1, available=0");
    char out[1];
    EXPECT_EQ(rangeErrorOf([&] { Windows1252::toStorage('a', out + 1, out); }),
              "Invalid pointer range passed to Lang::Platform::Windows1252::toStorage: "
              "type=char, required=1, available=-1");
}
