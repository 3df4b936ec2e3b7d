// Our own EFS2 commands against the emulated handset: each of the thirteen
// makes the round trip, and the device errors a handset gives come back as
// the codes and messages clients see.
#include "diag/CEFSException.h"
#include "diag/EFSClose.h"
#include "diag/EFSCloseDir.h"
#include "diag/EFSFStat.h"
#include "diag/EFSLStat.h"
#include "diag/EFSMkDir.h"
#include "diag/EFSOpen.h"
#include "diag/EFSOpenDir.h"
#include "diag/EFSRead.h"
#include "diag/EFSReadDir.h"
#include "diag/EFSRename.h"
#include "diag/EFSRmDir.h"
#include "diag/EFSUnlink.h"
#include "diag/EFSWrite.h"
#include "emulator/EmulatedPort.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr std::uint32_t kTimeout = 1000;
constexpr std::uint8_t kSubsys = 19;

class CommandRoundTripTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        EXPECT_EQ(handset->openDescriptors(), 0u);
        EXPECT_EQ(handset->openDirectories(), 0u);
    }
    std::shared_ptr<Emulator::Handset> handset = std::make_shared<Emulator::Handset>();
    Platform::ComPtr<IDiagPort> port = Emulator::EmulatedPort::create(handset);
    IUnknown* p() { return port.get(); }
};

} // namespace

TEST_F(CommandRoundTripTest, EveryCommandRoundTrips)
{
    CEFSMkDir(p(), kTimeout, kSubsys).Execute(u"/nv", 0666);
    const std::int32_t fd =
        Diag::Efs::Open(p(), kTimeout, kSubsys).Execute(u"/nv/\u00E9t\u00E9", 0x241, 0666);
    const std::uint8_t data[] = {'h', 'a', 'n', 'd', 's', 'e', 't'};
    EXPECT_EQ(CEFSWrite(p(), kTimeout, kSubsys).Execute(data, fd, 7, 0), 7u);
    std::uint32_t mode = 0, size = 0, links = 0, atime = 0, mtime = 0, ctime = 0;
    CEFSFStat(p(), kTimeout, kSubsys).Execute(fd, mode, size, links, atime, mtime, ctime);
    EXPECT_EQ(mode & 0xF000, 0x8000u);
    EXPECT_EQ(size, 7u);
    CEFSClose(p(), kTimeout, kSubsys).Execute(fd);

    const std::int32_t reading =
        Diag::Efs::Open(p(), kTimeout, kSubsys).Execute(u"/nv/\u00E9t\u00E9", 0, 0444);
    std::uint8_t back[512] = {};
    EXPECT_EQ(CEFSRead(p(), kTimeout, kSubsys).Execute(back, reading, 512, 2), 5u);
    EXPECT_EQ(std::string(back, back + 5), "ndset");
    CEFSClose(p(), kTimeout, kSubsys).Execute(reading);

    CEFSRename(p(), kTimeout, kSubsys).Execute(u"/nv/\u00E9t\u00E9", u"/nv/\u263A");
    EFSLStat(p(), kTimeout, kSubsys).Execute(u"/nv/\u263A", mode, atime, mtime, ctime);
    EXPECT_EQ(mode & 0xF000, 0x8000u);
    EFSLStat(p(), kTimeout, kSubsys).Execute(u"/nv", mode, atime, mtime, ctime);
    EXPECT_EQ(mode & 0xF000, 0x4000u);

    const std::uint32_t dirp = CEFSOpenDir(p(), kTimeout, kSubsys).Execute(u"/nv");
    CEFSReadDir readDir(p(), kTimeout, kSubsys);
    std::uint32_t seqno = 1;
    const auto entry = readDir.Read(dirp, seqno);
    EXPECT_EQ(entry.name(), u"\u263A"); // stored as "&#x263A;", decoded on the way back
    EXPECT_EQ(entry.size(), 7u);
    seqno += 1;
    EXPECT_EQ(readDir.Read(dirp, seqno).name(), u"");
    CEFSCloseDir(p(), kTimeout, kSubsys).Execute(dirp);

    EFSUnlink(p(), kTimeout, kSubsys).Execute(u"/nv/\u263A");
    Diag::Efs::Commands::RmDir(p(), kTimeout, kSubsys).Execute(u"/nv");
    const std::uint32_t root = CEFSOpenDir(p(), kTimeout, kSubsys).Execute(u"/");
    seqno = 1;
    EXPECT_EQ(readDir.Read(root, seqno).name(), u""); // nothing left at the root
    CEFSCloseDir(p(), kTimeout, kSubsys).Execute(root);
}

TEST_F(CommandRoundTripTest, DeviceErrorsArriveAsCodesAndMessages)
{
    CEFSMkDir(p(), kTimeout, kSubsys).Execute(u"/d", 0666);
    CEFSMkDir(p(), kTimeout, kSubsys).Execute(u"/d/sub", 0666);
    struct Case {
        const char* what;
        std::function<void()> action;
        std::uint32_t code; // device error + 1
        const char* message;
    };
    std::uint32_t m = 0, s = 0, n = 0, a = 0, t = 0, c = 0;
    std::uint8_t buffer[16] = {};
    const Case cases[] = {
        {"OPEN of a missing file",
         [&] { Diag::Efs::Open(p(), kTimeout, kSubsys).Execute(u"/x", 0, 0); }, 3,
         "EFS2_DIAG_OPEN /x"},
        {"OPEN of a directory",
         [&] { Diag::Efs::Open(p(), kTimeout, kSubsys).Execute(u"/d", 0, 0); }, 22,
         "EFS2_DIAG_OPEN /d"},
        {"CLOSE of no descriptor", [&] { CEFSClose(p(), kTimeout, kSubsys).Execute(40); }, 10,
         "EFS2_DIAG_CLOSE"},
        {"READ of no descriptor",
         [&] { CEFSRead(p(), kTimeout, kSubsys).Execute(buffer, 40, 16, 0); }, 10,
         "EFS2_DIAG_READ"},
        {"WRITE of no descriptor",
         [&] { CEFSWrite(p(), kTimeout, kSubsys).Execute(buffer, 40, 16, 0); }, 10,
         "EFS2_DIAG_WRITE"},
        {"FSTAT of no descriptor",
         [&] { CEFSFStat(p(), kTimeout, kSubsys).Execute(40, m, s, n, a, t, c); }, 10,
         "EFS2_DIAG_FSTAT"},
        {"MKDIR of an existing name",
         [&] { CEFSMkDir(p(), kTimeout, kSubsys).Execute(u"/d", 0666); }, 18, "EFS2_DIAG_MKDIR"},
        {"RMDIR of a full directory",
         [&] { Diag::Efs::Commands::RmDir(p(), kTimeout, kSubsys).Execute(u"/d"); }, 40,
         "EFS2_DIAG_RMDIR"},
        {"UNLINK of a directory", [&] { EFSUnlink(p(), kTimeout, kSubsys).Execute(u"/d/sub"); }, 22,
         "EFS2_DIAG_UNLINK"},
        {"RENAME of a missing name",
         [&] { CEFSRename(p(), kTimeout, kSubsys).Execute(u"/x", u"/y"); }, 3, "EFS2_DIAG_RENAME"},
        {"LSTAT of a missing name",
         [&] { EFSLStat(p(), kTimeout, kSubsys).Execute(u"/x", m, a, t, c); }, 3,
         "EFS2_DIAG_LSTAT"},
        {"OPENDIR of a missing name", [&] { CEFSOpenDir(p(), kTimeout, kSubsys).Execute(u"/x"); },
         3, "EFS2_DIAG_OPENDIR </x>"},
        {"READDIR of no directory",
         [&] {
             std::uint32_t seqno = 1;
             CEFSReadDir(p(), kTimeout, kSubsys).Read(40, seqno);
         },
         10, "EFS2_DIAG_READDIR"},
        {"CLOSEDIR of no directory", [&] { CEFSCloseDir(p(), kTimeout, kSubsys).Execute(40); }, 10,
         "EFS2_DIAG_CLOSEDIR"},
    };
    for (const Case& item : cases) {
        SCOPED_TRACE(item.what);
        try {
            item.action();
            ADD_FAILURE() << "no exception";
        } catch (const CEFSException& e) {
            EXPECT_EQ(e.GetCode(), item.code);
            EXPECT_EQ(e.GetMessage(), item.message);
        }
    }
}
