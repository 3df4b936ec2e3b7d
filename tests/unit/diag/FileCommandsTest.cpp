// READ and WRITE at their limits and against handsets that answer
// with the wrong descriptor, offset or count.
#include "CommandTest.h"

#include "diag/EFSRead.h"
#include "diag/EFSWrite.h"

#include <string>
#include <vector>

using namespace DiagTest;

namespace {

const Bytes kRead4At100 = Packet().header(4).u32(5).u32(4).u32(100);

Packet readResponse(std::uint32_t fd, std::uint32_t offset, std::uint32_t count)
{
    return Packet().header(4).u32(fd).u32(offset).u32(count).u32(0);
}

struct ReadCase {
    const char* what;
    Bytes response;
    std::string data; // what lands in the 4-byte buffer on success
    std::optional<Failure> failure;
};

Failure readFailure(std::uint32_t code, std::uint32_t line)
{
    return {code, "EFS2_DIAG_READ", "EFSRead", line};
}

} // namespace

using FileCommandsTest = CommandTest;

TEST_F(FileCommandsTest, ReadCopiesNoMoreThanTheHandsetCountAndTheCallerAsked)
{
    const ReadCase cases[] = {
        {"count 0 in 20 bytes", readResponse(5, 100, 0), "", std::nullopt},
        {"count 2", readResponse(5, 100, 2).text("ab"), "ab", std::nullopt},
        {"only the low 16 bits count", readResponse(5, 100, 0x00010003).text("abc"), "abc",
         std::nullopt},
        {"a count beyond the bytes received reads zeros", readResponse(5, 100, 4).text("ab"),
         std::string("ab\0\0", 4), std::nullopt},
        {"19 bytes", Packet().header(4).zeros(15), "",
         Failure{514, "EFS2_DIAG_READ", kTransactFile, 111}},
        {"another offset", readResponse(5, 101, 4).text("data"), "", readFailure(539, 173)},
        {"another descriptor and offset", readResponse(6, 101, 4).text("data"), "",
         readFailure(515, 168)},
        {"more than asked for", readResponse(5, 100, 5).text("data!"), "", readFailure(514, 180)},
        {"more than 512", readResponse(5, 100, 513).zeros(512), "", readFailure(514, 180)},
        // The low 16 bits read as a signed count: 0x8000 to 0xFFFF are
        // negative and refused like any other count that cannot be copied.
        {"count 0x8000", readResponse(5, 100, 0x8000).text("data"), "", readFailure(514, 180)},
        {"count 0xFFFF", readResponse(5, 100, 0x0000FFFF).text("data"), "", readFailure(514, 180)},
    };
    auto read = command<CEFSRead>();
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        port().expect(kRead4At100, c.response);
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

TEST_F(FileCommandsTest, ReadLimits)
{
    auto read = command<CEFSRead>();
    EXPECT_EQ(read.GetMaxData(), 512u);

    // Zero bytes still make a request (the device file seeks with it).
    port().expect(Packet().header(4).u32(5).u32(0).u32(9), readResponse(5, 9, 0));
    EXPECT_EQ(read.Execute(nullptr, 5, 0, 9), 0u);

    std::vector<std::uint8_t> buffer(513);
    expectFailure([&] { read.Execute(buffer.data(), 5, 513, 0); }, {524, "", "EFSRead", 149});
    EXPECT_EQ(port().calls(), 1u);

    port().expect(Packet().header(4).u32(5).u32(512).u32(0),
                  readResponse(5, 0, 512).text(std::string(511, 'r')).u8('!'));
    EXPECT_EQ(read.Execute(buffer.data(), 5, 512, 0), 512u);
    EXPECT_EQ(buffer[511], '!');
}

TEST_F(FileCommandsTest, WriteLimitsAndAnswers)
{
    auto write = command<CEFSWrite>();
    EXPECT_EQ(write.GetMaxData(), 512u);
    const std::vector<std::uint8_t> data(513, 'w');
    // The handset's count is passed on, not compared with what was sent.
    port().expect(Packet().header(5).u32(5).u32(1024).text(std::string(512, 'w')),
                  Packet().header(5).u32(5).u32(1024).u32(7).u32(0));
    EXPECT_EQ(write.Execute(data.data(), 5, 512, 1024), 7u);

    expectFailure([&] { write.Execute(data.data(), 5, 513, 0); },
                  {527, "", "vornak\\EFSWrite", 31});
    EXPECT_EQ(port().calls(), 1u);

    const Bytes request = Packet().header(5).u32(5).u32(8);
    port().expect(request, Packet().header(5).u32(6).u32(9).u32(0).u32(0));
    expectFailure([&] { write.Execute(nullptr, 5, 0, 8); },
                  {515, "EFS2_DIAG_WRITE", "EFSWrite", 155});
    port().expect(request, Packet().header(5).u32(5).u32(9).u32(0).u32(0));
    expectFailure([&] { write.Execute(nullptr, 5, 0, 8); },
                  {528, "EFS2_DIAG_WRITE", "EFSWrite", 161});
}
