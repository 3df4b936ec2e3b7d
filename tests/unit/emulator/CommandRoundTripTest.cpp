// Our own EFS2 commands against the emulated handset: the device errors the
// handset gives (in responses of the length each command expects) come back
// as the codes clients see. Each command's bytes both ways are HandsetTest's
// and tests/unit/diag's.
#include "diag/CEFSException.h"
#include "diag/DeviceError.h"
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

TEST_F(CommandRoundTripTest, DeviceErrorsArriveAsCodes)
{
    handset->edit([](Emulator::FileSystem& fs) {
        fs.addFile(u"/a.txt", std::vector<std::uint8_t>(2), 0644);
        fs.addFile(u"/ro.txt", {}, 0444);
        fs.addFile(u"/full/inner", {}, 0644);
        fs.addDirectory(u"/dir", 0755);
    });
    using namespace Emulator;
    const std::u16string longName = u"/" + std::u16string(769, u'n');
    std::uint32_t m = 0, s = 0, n = 0, a = 0, t = 0, c = 0;
    std::uint8_t buffer[16] = {};
    const auto open = [&](std::u16string_view path, std::uint32_t flags) {
        Diag::Efs::Open(p(), kTimeout, kSubsys).Execute(path, flags, 0644);
    };
    const auto rename = [&](std::u16string_view from, std::u16string_view to) {
        CEFSRename(p(), kTimeout, kSubsys).Execute(from, to);
    };
    const auto rmdir = [&](std::u16string_view path) {
        Diag::Efs::Commands::RmDir(p(), kTimeout, kSubsys).Execute(path);
    };
    const auto unlink = [&](std::u16string_view path) {
        EFSUnlink(p(), kTimeout, kSubsys).Execute(path);
    };
    const auto mkdir = [&](std::u16string_view path) {
        CEFSMkDir(p(), kTimeout, kSubsys).Execute(path, 0755);
    };
    const auto opendir = [&](std::u16string_view path) {
        CEFSOpenDir(p(), kTimeout, kSubsys).Execute(path);
    };
    const std::pair<std::function<void()>, std::uint32_t> cases[] = {
        {[&] { open(u"/missing", 0); }, kNoEntry},
        {[&] { open(u"/a.txt/x", 0); }, kNotDirectory},
        {[&] { open(u"/dir", 0); }, kIsDirectory},
        {[&] { open(u"/a.txt", 0xC1); }, kExists},
        {[&] { open(u"/ro.txt", 0x241); }, kAccessDenied},
        {[&] { open(u"/a.txt", 3); }, kInvalidArgument},
        {[&] { open(longName, 0x41); }, kNameTooLong},
        {[&] { CEFSRead(p(), kTimeout, kSubsys).Execute(buffer, 7, 16, 0); }, kBadDescriptor},
        {[&] { CEFSWrite(p(), kTimeout, kSubsys).Execute(buffer, 7, 16, 0); }, kBadDescriptor},
        {[&] { CEFSClose(p(), kTimeout, kSubsys).Execute(7); }, kBadDescriptor},
        {[&] { CEFSFStat(p(), kTimeout, kSubsys).Execute(-1, m, s, n, a, t, c); }, kBadDescriptor},
        {[&] {
             std::uint32_t seqno = 1;
             CEFSReadDir(p(), kTimeout, kSubsys).Read(9, seqno);
         },
         kBadDescriptor},
        {[&] { CEFSCloseDir(p(), kTimeout, kSubsys).Execute(0); }, kBadDescriptor},
        {[&] { mkdir(u"/dir"); }, kExists},
        {[&] { mkdir(u"/nope/x"); }, kNoEntry},
        {[&] { rmdir(u"/full"); }, kNotEmpty},
        {[&] { rmdir(u"/a.txt"); }, kNotDirectory},
        {[&] { unlink(u"/dir"); }, kIsDirectory},
        {[&] { unlink(u"/a.txt/"); }, kNotDirectory},
        {[&] { opendir(u"/a.txt"); }, kNotDirectory},
        {[&] { rename(u"/missing", u"/x"); }, kNoEntry},
        {[&] { rename(u"/dir", u"/dir/sub"); }, kInvalidArgument},
        {[&] { rename(u"/a.txt", u"/full"); }, kIsDirectory},
        {[&] { rename(u"/dir", u"/a.txt"); }, kNotDirectory},
        {[&] { rename(u"/dir", u"/full"); }, kNotEmpty},
        {[&] { EFSLStat(p(), kTimeout, kSubsys).Execute(u"/missing", m, a, t, c); }, kNoEntry},
        {[&] { EFSLStat(p(), kTimeout, kSubsys).Execute(longName, m, a, t, c); }, kNameTooLong},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        try {
            cases[i].first();
            ADD_FAILURE() << "no exception";
        } catch (const CEFSException& e) {
            EXPECT_EQ(e.GetCode(), cases[i].second + 1);
        }
    }
    // Nothing of the failed requests stayed behind.
    EXPECT_EQ(handset->edit([](Emulator::FileSystem& fs) { return fs.root()->entries.size(); }),
              4u);
}
