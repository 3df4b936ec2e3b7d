// READ and WRITE at their limits and against handsets that answer with the
// wrong descriptor, offset or count.
#include "CommandTest.h"

#include "diag/EFSRead.h"
#include "diag/EFSWrite.h"

#include <optional>
#include <vector>

using namespace DiagTest;

namespace {

Packet readResponse(std::uint32_t fd, std::uint32_t offset, std::uint32_t count)
{
    return Packet(4).u32(fd).u32(offset).u32(count).u32(0);
}

Failure readFailure(std::uint32_t code, std::uint32_t line)
{
    return {code, "EFS2_DIAG_READ", "EFSRead", line};
}

} // namespace

using FileCommandsTest = CommandTest;

TEST_F(FileCommandsTest, ReadCopiesNoMoreThanTheHandsetCountAndTheCallerAsked)
{
    const struct {
        const char* what;
        Bytes response;
        std::string data; // what lands in the 4-byte buffer on success
        std::optional<Failure> failure;
    } cases[] = {
        {"count 0 in 20 bytes", readResponse(5, 100, 0), "", std::nullopt},
        {"count 2", readResponse(5, 100, 2).raw("ab"), "ab", std::nullopt},
        {"only the low 16 bits count", readResponse(5, 100, 0x00010003).raw("abc"), "abc",
         std::nullopt},
        {"a count beyond the bytes received reads zeros", readResponse(5, 100, 4).raw("ab"),
         std::string("ab\0\0", 4), std::nullopt},
        {"19 bytes", Packet(4).zeros(15), "", Failure{514, "EFS2_DIAG_READ", kTransactFile, 111}},
        // The port's length is no more trusted than the handset's count.
        {"longer than the buffer", readResponse(5, 100, 4).raw("data").zeros(509), "",
         Failure{514, "EFS2_DIAG_READ", kTransactFile, 111}},
        {"another offset", readResponse(5, 101, 4).raw("data"), "", readFailure(539, 173)},
        {"another descriptor and offset", readResponse(6, 101, 4).raw("data"), "",
         readFailure(515, 168)},
        {"more than asked for", readResponse(5, 100, 5).raw("data!"), "", readFailure(514, 180)},
        {"more than 512", readResponse(5, 100, 513).zeros(512), "", readFailure(514, 180)},
        // The low 16 bits read as a signed count: 0x8000 to 0xFFFF are
        // negative and refused like any other count that cannot be copied.
        {"count 0x8000", readResponse(5, 100, 0x8000).raw("data"), "", readFailure(514, 180)},
        {"count 0xFFFF", readResponse(5, 100, 0x0000FFFF).raw("data"), "", readFailure(514, 180)},
    };
    auto read = command<CEFSRead>();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        port().expect(Packet(4).u32(5).u32(4).u32(100), c.response);
        std::uint8_t buffer[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        if (c.failure) {
            expectFailure([&] { read.Execute(buffer, 5, 4, 100); }, *c.failure);
            EXPECT_THAT(buffer, ::testing::Each(0xEE)) << "copied from a refused response";
        } else {
            const std::uint32_t got = read.Execute(buffer, 5, 4, 100);
            EXPECT_EQ(std::string(buffer, buffer + got), c.data);
        }
    }
}

TEST_F(FileCommandsTest, ReadAndWriteTakeAtMost512Bytes)
{
    auto read = command<CEFSRead>();
    auto write = command<CEFSWrite>();
    std::vector<std::uint8_t> buffer(513, 'w');
    expectFailure([&] { read.Execute(buffer.data(), 5, 513, 0); }, {524, "", "EFSRead", 149});
    expectFailure([&] { write.Execute(buffer.data(), 5, 513, 0); },
                  {527, "", "vornak\\EFSWrite", 31});
    EXPECT_EQ(port().calls(), 0u);

    port().expect(Packet(4).u32(5).u32(512).u32(0),
                  readResponse(5, 0, 512).raw(std::string(511, 'r')).u8('!'));
    EXPECT_EQ(read.Execute(buffer.data(), 5, 512, 0), 512u);
    EXPECT_EQ(buffer[511], '!');
    // Zero bytes still make a request (the device file seeks with it).
    port().expect(Packet(4).u32(5).u32(0).u32(9), readResponse(5, 9, 0));
    EXPECT_EQ(read.Execute(nullptr, 5, 0, 9), 0u);

    // The handset's count is passed on, not compared with what was sent.
    port().expect(Packet(5).u32(5).u32(1024).raw(std::string(511, 'r')).u8('!'),
                  Packet(5).u32(5).u32(1024).u32(7).u32(0));
    EXPECT_EQ(write.Execute(buffer.data(), 5, 512, 1024), 7u);
}

TEST_F(FileCommandsTest, WriteRefusesAnswersForAnotherDescriptorOrOffset)
{
    auto write = command<CEFSWrite>();
    port().expect(Packet(5).u32(5).u32(8), Packet(5).u32(6).u32(9).u32(0).u32(0));
    expectFailure([&] { write.Execute(nullptr, 5, 0, 8); },
                  {515, "EFS2_DIAG_WRITE", "EFSWrite", 155});
    port().expect(Packet(5).u32(5).u32(8), Packet(5).u32(5).u32(9).u32(0).u32(0));
    expectFailure([&] { write.Execute(nullptr, 5, 0, 8); },
                  {528, "EFS2_DIAG_WRITE", "EFSWrite", 161});
}
