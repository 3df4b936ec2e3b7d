// The directory reader against the emulated handset, and against a scripted
// port for the numbers a handset echoes.
#include "EfsTest.h"

#include "efs/EFSDir.h"
#include "support/ScriptedPort.h"

#include <gmock/gmock.h>

namespace {

using Diag::Efs2::CloseDir;
using Diag::Efs2::OpenDir;
using Diag::Efs2::ReadDir;
using EfsTest::Packet;
using Names = std::vector<std::u16string>;

Names namesOf(const std::vector<Marl::Common::EfsReadDirEntry>& entries)
{
    Names names;
    for (const auto& entry : entries) {
        names.push_back(entry.name());
    }
    return names;
}

class EFSDirTest : public EfsTest::HandsetFixture {};

} // namespace

TEST_F(EFSDirTest, AnEmptyDirectoryCostsThreeRequests)
{
    addDirectory(u"/empty");
    {
        EFSDir dir(port.get(), kTimeout, kSubsys);
        dir.OpenDir(u"/empty");
        EXPECT_TRUE(dir.ReadAll().empty());
    }
    EXPECT_EQ(port->commands(), (std::vector<std::uint16_t>{OpenDir, ReadDir, CloseDir}));
}

TEST_F(EFSDirTest, EntriesWithTheirNamesAndNumbers)
{
    addDirectory(u"/d/sub");
    addFile(u"/d/\u263A", EfsTest::patterned(5));
    EFSDir dir(port.get(), kTimeout, kSubsys);
    dir.OpenDir(u"/d");
    const auto entries = dir.ReadAll();
    EXPECT_EQ(namesOf(entries), (Names{u"\u263A", u"sub"})); // from "&#x263A;"
    EXPECT_EQ(entries[0].size(), 5u);
    EXPECT_EQ(fieldOf(ReadDir, 8), (std::vector<std::uint32_t>{1, 2, 3}));
}

TEST_F(EFSDirTest, NextNumberFollowsTheOneTheHandsetEchoes)
{
    auto scripted = TestSupport::ScriptedPort::create();
    const auto readDir = [](std::uint32_t seqno) { return Packet(ReadDir).u32(9).u32(seqno); };
    const auto entry = [](std::uint32_t seqno, std::string_view name) {
        return Packet(ReadDir).u32(9).u32(seqno).u32(0).u32(0).u32(0x81B6).u32(1).zeros(12).text(
            name);
    };
    scripted->expect(Packet(OpenDir).text("/x"), Packet(OpenDir).u32(9).u32(0))
        .expect(readDir(1), entry(5, "a"))
        .expect(readDir(6), entry(6, "b"))
        .expect(readDir(7), entry(7, ""))
        .expect(Packet(CloseDir).u32(9), Packet(CloseDir).u32(0));
    {
        EFSDir dir(scripted.get(), kTimeout, kSubsys);
        dir.OpenDir(u"/x");
        EXPECT_EQ(namesOf(dir.ReadAll()), (Names{u"a", u"b"}));
    }
    EXPECT_EQ(scripted->pending(), 0u);
}

TEST_F(EFSDirTest, FailuresAndTheCloseThatFollows)
{
    // A failed OPENDIR leaves nothing to close.
    {
        EFSDir dir(port.get(), kTimeout, kSubsys);
        const CEFSException e = EfsTest::caught([&] { dir.OpenDir(u"/x"); });
        EXPECT_EQ(e.GetCode(), 3u);
        EXPECT_EQ(e.GetMessage(), "EFS2_DIAG_OPENDIR </x>");
    }
    EXPECT_EQ(port->commands(), std::vector<std::uint16_t>{OpenDir});

    // Opening twice refuses the second and closes the first at the end.
    addFile(u"/d/a", {});
    port->requests.clear();
    {
        EFSDir dir(port.get(), kTimeout, kSubsys);
        dir.OpenDir(u"/d");
        const CEFSException e = EfsTest::caught([&] { dir.OpenDir(u"/d"); });
        EXPECT_EQ(e.GetCode(), EFSERR_ALREADY_OPEN);
        EXPECT_EQ(e.GetLine(), 93u);
        EXPECT_EQ(e.GetFile(), "..\\SharedSource\\EFSDir");
        // A READDIR that fails loses the listing but not the close.
        handset->queueFault(Emulator::Fault::errorResponse(5).on(ReadDir));
        EXPECT_THROW(dir.ReadAll(), CEFSException);
    }
    EXPECT_EQ(port->commands(), (std::vector<std::uint16_t>{OpenDir, ReadDir, CloseDir}));
}

// A limit takes a listing of exactly that many entries and stops at the one
// after, with the directory closed all the same.
TEST_F(EFSDirTest, ALimitStopsAListingThatNeverEnds)
{
    addFile(u"/d/a", {});
    addFile(u"/d/b", {});
    {
        EFSDir dir(port.get(), kTimeout, kSubsys);
        dir.OpenDir(u"/d");
        EXPECT_EQ(dir.ReadAtMost(2).size(), 2u);
    }
    handset->queueFault(Emulator::Fault::endlessListing());
    EFSDir dir(port.get(), kTimeout, kSubsys);
    dir.OpenDir(u"/d");
    try {
        dir.ReadAtMost(100);
        ADD_FAILURE() << "the listing never ended, and nothing stopped it";
    } catch (const Efs::ListingTooLong& e) {
        EXPECT_EQ(e.limit(), 100u);
    }
    EXPECT_EQ(fieldOf(ReadDir, 8).size(), 3u + 101u);
}
