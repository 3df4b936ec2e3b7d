// HELLO and QUERY, the session commands: the exact request, what a good
// answer gives, and the answers they refuse.
#include "CommandTest.h"

#include "diag/EFSHello.h"
#include "diag/EFSQuery.h"

using namespace DiagTest;
using namespace Diag::Efs;
using ::testing::ElementsAre;

namespace {

using SessionCommandsTest = CommandTest;

Packet helloPacket(std::uint32_t window, std::uint32_t features)
{
    Packet packet(0);
    for (int i = 0; i < 6; ++i) {
        packet.u32(window);
    }
    return packet.u32(1).u32(1).u32(1).u32(features);
}

TEST_F(SessionCommandsTest, HelloOffersTheUsualWindowsAndReadsWhatTheHandsetSettled)
{
    port().expect(helloPacket(0x100000, 0),
                  Packet(0).u32(1).u32(2).u32(3).u32(4).u32(5).u32(6).u32(1).u32(0).u32(2).u32(7));
    const HelloParameters s = command<Hello>().Execute();
    const std::uint32_t fields[] = {s.targetPackets,   s.targetBytes,   s.hostPackets, s.hostBytes,
                                    s.iteratorPackets, s.iteratorBytes, s.version,     s.minVersion,
                                    s.maxVersion,      s.features};
    EXPECT_THAT(fields, ElementsAre(1u, 2u, 3u, 4u, 5u, 6u, 1u, 0u, 2u, 7u));
    EXPECT_EQ(port().lastCapacity(), 45u); // room for a refusal of the 44 bytes
}

TEST_F(SessionCommandsTest, QueryReadsSixSignedLimits)
{
    port().expect(Packet(1), Packet(1).u32(768).u32(1024).u32(8).u32(0xFFFFFFFF).u32(4096).u32(1));
    const FileSystemLimits l = command<Query>().Execute();
    const std::int32_t fields[] = {l.maxNameLength, l.maxPathLength,  l.maxSymlinkDepth,
                                   l.maxFileSize,   l.maxDirectories, l.maxMounts};
    EXPECT_THAT(fields, ElementsAre(768, 1024, 8, -1, 4096, 1));
}

TEST_F(SessionCommandsTest, MalformedAndRefusedAnswers)
{
    const Bytes hello = helloPacket(0x100000, 0);
    Bytes helloRefused{0x13};
    helloRefused.insert(helloRefused.end(), hello.begin(), hello.end());
    const Bytes goodHello = helloPacket(1, 0);
    const struct {
        Bytes request;
        Bytes response;
        Failure failure;
    } cases[] = {
        {hello, helloRefused, {540, "EFS2_DIAG_HELLO", kTransactFile, 103}},
        {hello,
         Bytes(goodHello.begin(), goodHello.end() - 1),
         {514, "EFS2_DIAG_HELLO", kTransactFile, 111}},
        {hello, Packet(28).u32(22), {23, "EFS2_DIAG_HELLO", kTransactFile, 100}},
        {hello, Packet(0, 62).zeros(40), {525, "EFS2_DIAG_HELLO", kTransactFile, 104}},
        {Packet(1), Bytes{0x13, 0x4B, 19, 1, 0}, {540, "EFS2_DIAG_QUERY", kTransactFile, 103}},
        {Packet(1), Bytes{0x13, 0x4B, 62, 1, 0}, {525, "EFS2_DIAG_QUERY", kTransactFile, 104}},
        {Packet(1), Packet(1).zeros(20), {514, "EFS2_DIAG_QUERY", kTransactFile, 111}},
        {Packet(1), Packet(1).zeros(28), {514, "EFS2_DIAG_QUERY", kTransactFile, 111}},
    };
    for (const auto& c : cases) {
        port().expect(c.request, c.response);
        if (c.failure.message == "EFS2_DIAG_HELLO") {
            expectFailure([&] { command<Hello>().Execute(); }, c.failure);
        } else {
            expectFailure([&] { command<Query>().Execute(); }, c.failure);
        }
    }
}

} // namespace
