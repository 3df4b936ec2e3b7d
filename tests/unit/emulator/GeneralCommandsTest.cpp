// The general requests that diagnostic clients send before their first EFS2
// command, answered as docs/protocol.md records them, and the refusals of
// what the handset does not know.
#include "support/Packet.h"

#include "emulator/Handset.h"

#include <gtest/gtest.h>

#include <string>

using namespace Emulator;
using namespace TestSupport;

namespace {

Bytes hex(std::string_view text)
{
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        while (text[i] == ' ') {
            ++i;
        }
        bytes.push_back(
            static_cast<std::uint8_t>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
    }
    return bytes;
}

Bytes echoed(std::uint8_t code, const Bytes& request)
{
    Bytes answer(request.size() + 1, code);
    std::copy(request.begin(), request.end(), answer.begin() + 1);
    return answer;
}

Bytes nvPacket(std::uint8_t code, std::uint16_t item, std::uint8_t fill, std::uint16_t status)
{
    return Packet().u8(code).u16(item).raw(std::string(128, static_cast<char>(fill))).u16(status);
}

} // namespace

TEST(GeneralCommands, AnswerTheStartUpRequestsOfPublicClients)
{
    Handset handset;
    const std::pair<Bytes, Bytes> cases[] = {
        // Log configuration: disable, the ranges of the 16 equipment ids, a
        // mask of no items (set and read back), an unknown equipment id.
        {hex("73000000 00000000"), hex("73000000 00000000 00000000")},
        {hex("73000000 01000000"), Packet().raw(std::string("\x73\0\0\0\x01\0\0\0", 8)).zeros(68)},
        {hex("73000000 03000000 01000000 00000000"),
         hex("73000000 03000000 00000000 01000000 00000000")},
        {hex("73000000 03000000 01000000 10000000 ffff"),
         hex("73000000 03000000 00000000 01000000 00000000")},
        {hex("73000000 04000000 20000000"), hex("73000000 04000000 01000000 20000000 00000000")},
        // Extended message configuration: ranges, a range of masks, all masks
        // (padded by a byte as one client sends it, or not).
        {hex("7d01"), hex("7d010100 00000000")},
        {hex("7d04 0000 0200 0000 01000000 02000000 03000000"),
         hex("7d04 0000 0200 0100 01000000 02000000 03000000")},
        {hex("7d05 00 00000000 00"), hex("7d050100 00000000")},
        {hex("7d05 07 ffffffff"), hex("7d050107 ffffffff")},
        // The service code and password are accepted.
        {hex("41 303030303030"), hex("41 303030303030 01")},
        {hex("46 0102030405060708"), hex("46 0102030405060708 01")},
    };
    for (const auto& [request, expected] : cases) {
        EXPECT_EQ(handset.respond(request), expected) << ::testing::PrintToString(request);
    }

    const Bytes version = handset.respond(hex("00"));
    ASSERT_EQ(version.size(), 55u);
    EXPECT_EQ(version[0], 0x00);
    EXPECT_EQ(std::string(version.begin() + 39, version.begin() + 47), "EMULATOR");
    const Bytes buildId = handset.respond(hex("7c"));
    EXPECT_EQ(Bytes(buildId.begin(), buildId.begin() + 12), hex("7c000000 00000000 00000000"));
    EXPECT_EQ(std::string(buildId.begin() + 12, buildId.end()),
              std::string("VORNAK.EMULATED.HANDSET.1\0Vornak emulated handset\0", 50));
}

TEST(GeneralCommands, KeepNvItemsOnceWritten)
{
    Handset handset;
    EXPECT_EQ(handset.respond(nvPacket(0x26, 0x1C0, 0, 0)), Bytes(nvPacket(0x26, 0x1C0, 0, 5)));
    EXPECT_EQ(handset.respond(nvPacket(0x27, 0x1C0, 0xAB, 0)),
              Bytes(nvPacket(0x27, 0x1C0, 0xAB, 0)));
    EXPECT_EQ(handset.respond(nvPacket(0x26, 0x1C0, 0, 0)), Bytes(nvPacket(0x26, 0x1C0, 0xAB, 0)));
    EXPECT_EQ(handset.respond(nvPacket(0x26, 0x1C1, 0, 0)), Bytes(nvPacket(0x26, 0x1C1, 0, 5)));
}

TEST(GeneralCommands, RefuseWhatTheHandsetDoesNotKnowWithTheRequestEchoed)
{
    Handset handset;
    const std::pair<std::uint8_t, Bytes> cases[] = {
        {0x13, hex("fe0102")},              // an unknown command
        {0x13, hex("0c")},                  // a status request this handset does not offer
        {0x13, hex("4b990000 01")},         // an unknown subsystem
        {0x13, hex("4b12ff7f")},            // an unknown command of another subsystem
        {0x14, hex("73000000 09000000")},   // an unknown log operation
        {0x14, hex("7d09")},                // an unknown message operation
        {0x14, hex("7d04 0200 0100 0000")}, // a range that ends before it starts
        {0x15, hex("7300")},
        {0x15, hex("73000000 00000000 00")},
        {0x15, hex("73000000 03000000 01000000 00100000")}, // a mask one byte short of 4096 items
        {0x15, hex("7d04 0000 0000 0000 01000000 000000")}, // three bytes after the masks
        {0x15, hex("7d05 00")},
        {0x15, hex("0000")},
        {0x15, hex("7c00")},
        {0x15, hex("2601")},
        {0x15, hex("41 3030")},
    };
    for (const auto& [code, request] : cases) {
        EXPECT_EQ(handset.respond(request), echoed(code, request))
            << ::testing::PrintToString(request);
    }
}
