#include "transport/Hdlc.h"
#include "transport/Crc16.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Transport::Hdlc::FrameReader;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes frameOf(const Bytes& payload)
{
    Bytes out;
    Transport::Hdlc::appendFrame(payload.data(), payload.size(), out);
    return out;
}

// Feeds `stream` in pieces of the given sizes (the rest in one piece) and
// returns what the reader reported, frames as their payloads.
std::vector<std::string> readAll(const Bytes& stream, std::vector<std::size_t> pieces = {},
                                 std::size_t maxPayload = 8192)
{
    FrameReader reader(maxPayload);
    std::vector<std::string> events;
    std::size_t offset = 0;
    pieces.push_back(stream.size());
    for (std::size_t piece : pieces) {
        const std::size_t end = std::min(stream.size(), offset + piece);
        std::size_t used = 0;
        for (;;) {
            const FrameReader::Status status =
                reader.feed(stream.data() + offset, end - offset, &used);
            if (status == FrameReader::Status::NeedMore) {
                break;
            }
            if (status == FrameReader::Status::Frame) {
                events.emplace_back(reader.frame().begin(), reader.frame().end());
            } else {
                events.emplace_back(status == FrameReader::Status::BadCrc ? "<crc>"
                                                                          : "<oversized>");
            }
        }
        offset = end;
    }
    return events;
}

} // namespace

TEST(Crc16, X25CheckValue)
{
    const std::string check = "123456789";
    EXPECT_EQ(Transport::crc16(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()),
              0x906E);
    EXPECT_EQ(Transport::crc16(nullptr, 0), 0x0000);
}

TEST(Hdlc, FramesCarryTheCrcLowByteFirstAndEscapeBothSpecialBytes)
{
    // A READ request: header 4B 13 04 00, fd, count 512, offset 0.
    const Bytes request{0x4B, 0x13, 0x04, 0x00, 0x01, 0, 0, 0, 0x00, 0x02, 0, 0, 0, 0, 0, 0};
    const std::uint16_t crc = Transport::crc16(request.data(), request.size());
    Bytes expected = request;
    expected.push_back(static_cast<std::uint8_t>(crc));
    expected.push_back(static_cast<std::uint8_t>(crc >> 8));
    expected.push_back(0x7E);
    for (std::uint8_t check :
         {static_cast<std::uint8_t>(crc), static_cast<std::uint8_t>(crc >> 8)}) {
        ASSERT_TRUE(check != 0x7E && check != 0x7D); // no escaping in this frame
    }
    EXPECT_EQ(frameOf(request), expected);

    const Bytes special{0x7E, 0x01, 0x7D};
    const Bytes escaped = frameOf(special);
    EXPECT_EQ(Bytes(escaped.begin(), escaped.begin() + 5), (Bytes{0x7D, 0x5E, 0x01, 0x7D, 0x5D}));
    EXPECT_EQ(readAll(escaped), std::vector<std::string>{"\x7E\x01\x7D"});
}

TEST(Hdlc, FrameLengthIsWhatAppendFrameMakes)
{
    // Escapes in the payload and, for some payloads, in the check sum too.
    for (unsigned seed = 0; seed < 2000; ++seed) {
        Bytes payload(seed % 40);
        for (std::size_t i = 0; i < payload.size(); ++i) {
            payload[i] = static_cast<std::uint8_t>((seed * 7919u + i * 104729u) >> (i % 5));
        }
        ASSERT_EQ(Transport::Hdlc::frameLength(payload.data(), payload.size()),
                  frameOf(payload).size())
            << "seed " << seed;
    }
}

TEST(Hdlc, EverySplitOfAFrameAcrossReads)
{
    const Bytes payload{0x4B, 0x13, 0x7E, 0x7D, 0x00, 0x20, 0x5E, 0x5D};
    const Bytes frame = frameOf(payload);
    const std::string expected(payload.begin(), payload.end());
    for (std::size_t first = 0; first <= frame.size(); ++first) {
        for (std::size_t second = 0; first + second <= frame.size(); ++second) {
            ASSERT_EQ(readAll(frame, {first, second}), std::vector<std::string>{expected})
                << "split at " << first << " and " << first + second;
        }
    }
}

TEST(Hdlc, LeadingFlagsGarbageAndBadChecksums)
{
    const Bytes good = frameOf({0x4B, 0x13, 0x02, 0x00});
    Bytes stream{0x7E, 0x7E};
    stream.insert(stream.end(), good.begin(), good.end());
    EXPECT_EQ(readAll(stream), std::vector<std::string>{std::string("\x4B\x13\x02\x00", 4)});

    // Garbage before a frame ends at the next flag as a bad frame; the reader
    // is in step again for the frame after it.
    Bytes noisy{0x11, 0x22, 0x33, 0x7E};
    noisy.insert(noisy.end(), good.begin(), good.end());
    EXPECT_EQ(readAll(noisy),
              (std::vector<std::string>{"<crc>", std::string("\x4B\x13\x02\x00", 4)}));

    Bytes corrupt = good;
    corrupt[1] ^= 0x01;
    EXPECT_EQ(readAll(corrupt), std::vector<std::string>{"<crc>"});
    EXPECT_EQ(readAll({0x01, 0x7E}), std::vector<std::string>{"<crc>"}); // shorter than a check sum
    EXPECT_EQ(readAll({0x01, 0x02, 0x7D, 0x7E}),
              std::vector<std::string>{"<crc>"}); // escape then flag
}

TEST(Hdlc, OversizedFramesAreDroppedUpToTheNextFlag)
{
    const Bytes big = frameOf(Bytes(40, 0x55));
    const Bytes small = frameOf({0x4B});
    Bytes stream = big;
    stream.insert(stream.end(), small.begin(), small.end());
    EXPECT_EQ(readAll(stream, {}, 16), (std::vector<std::string>{"<oversized>", "\x4B"}));
    // Exactly at the limit is fine.
    EXPECT_EQ(readAll(frameOf(Bytes(16, 0x55)), {}, 16),
              std::vector<std::string>{std::string(16, 0x55)});
}
