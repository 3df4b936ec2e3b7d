// The commands beyond the thirteen against the emulated handset, through our
// own transactions: each makes the round trip, each failure comes back with
// the handset's error number, and a refused request changes nothing.
#include "diag/CEFSException.h"
#include "diag/EFSAccess.h"
#include "diag/EFSChmod.h"
#include "diag/EFSClose.h"
#include "diag/EFSDelTree.h"
#include "diag/EFSDevInfo.h"
#include "diag/EFSFTruncate.h"
#include "diag/EFSGet.h"
#include "diag/EFSMd5Sum.h"
#include "diag/EFSOpen.h"
#include "diag/EFSPut.h"
#include "diag/EFSReadLink.h"
#include "diag/EFSStat.h"
#include "diag/EFSStatFs.h"
#include "diag/EFSSymlink.h"
#include "diag/EFSTruncate.h"
#include "diag/DeviceError.h"
#include "emulator/EmulatedPort.h"
#include "platform/Md5.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace Emulator;
using namespace Diag::Efs;

namespace {

constexpr std::uint32_t kTimeout = 1000;
constexpr std::uint8_t kSubsys = 62;
constexpr std::uint32_t kNow = 1'000'000'000;
constexpr std::uint32_t kCapacity = 4096;

const std::vector<std::uint8_t> kHello = {'h', 'e', 'l', 'l', 'o'};

FileSystem seeded()
{
    Limits limits;
    limits.capacity = kCapacity;
    limits.maxItemSize = 8;
    FileSystem fileSystem(limits, [] { return kNow; });
    fileSystem.addFile(u"/a.txt", kHello, 0644, 7);
    fileSystem.addFile(u"/ro.txt", {}, 0444);
    fileSystem.addFile(u"/full/inner", {}, 0644);
    fileSystem.addItem(u"/nv/item", std::vector<std::uint8_t>{1, 2, 3}, 0600);
    fileSystem.addLink(u"/full/up", u"../a.txt");
    fileSystem.addLink(u"/loop", u"loop");
    fileSystem.addLink(u"/dangling", u"/none");
    return fileSystem;
}

class RefusableCommandRoundTripTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(handset->openDescriptors(), 0u); }

    template <class Transaction>
    Transaction make()
    {
        return Transaction(port.get(), kTimeout, kSubsys);
    }
    FileStatus stat(std::u16string_view path) { return make<Stat>().Execute(path); }

    std::shared_ptr<Handset> handset = std::make_shared<Handset>(seeded());
    Platform::ComPtr<IDiagPort> port = EmulatedPort::create(handset);
};

} // namespace

TEST_F(RefusableCommandRoundTripTest, EveryCommandRoundTrips)
{
    // Links: made, read back, followed by STAT, not by LSTAT's type.
    make<Symlink>().Execute(u"a.txt", u"/link");
    EXPECT_EQ(make<ReadLink>().Execute(u"/link"), u"a.txt");
    EXPECT_EQ(make<ReadLink>().Execute(u"/full/up"), u"../a.txt");
    const FileStatus followed = stat(u"/full/up");
    EXPECT_EQ(followed.mode, 0100644u);
    EXPECT_EQ(followed.size, 5u);
    EXPECT_EQ(followed.modificationTime, 7u);

    make<Chmod>().Execute(u"/link", 0100600); // the target's bits; its type stays
    EXPECT_EQ(stat(u"/a.txt").mode, 0100600u);
    make<Access>().Execute(u"/a.txt", Diag::Efs2::kAccessRead | Diag::Efs2::kAccessWrite);

    const FileSystemStatus fs = make<StatFs>().Execute(u"/");
    EXPECT_EQ(fs.type, "EFS2");
    EXPECT_EQ(fs.blockSize, 512u);
    EXPECT_EQ(fs.totalBlocks, kCapacity / 512);
    EXPECT_EQ(fs.freeBlocks, (kCapacity - 8) / 512); // "hello" and the item's 3 bytes
    EXPECT_EQ(fs.fileCount, 10u);                    // every name below the root
    const DeviceInfo device = make<DevInfo>().Execute();
    EXPECT_EQ(device.deviceType, DeviceInfo::kNandFlash);
    EXPECT_EQ(device.totalBlocks, 1u);
    EXPECT_EQ(device.name, "VORNAK EMULATED NAND");

    const Md5Digest digest = make<Md5Sum>().Execute(u"/full/up");
    EXPECT_EQ(digest, Platform::md5(kHello));

    // Item files: whole, with their own type.
    const std::uint8_t value[] = {9, 8, 7, 6, 5, 4, 3, 2};
    make<Put>().Execute(u"/nv/new", value, 0x41, 0640);
    std::uint8_t back[8] = {};
    EXPECT_EQ(make<Get>().Execute(u"/nv/new", back, 8), 8u);
    EXPECT_EQ(std::vector<std::uint8_t>(back, back + 8),
              std::vector<std::uint8_t>(value, value + 8));
    EXPECT_EQ(stat(u"/nv/new").mode, Diag::Efs2::kModeItemFile | 0640);
    make<Put>().Execute(u"/nv/new", std::span(value).first(2), 0x1, 0); // replaced whole
    EXPECT_EQ(make<Get>().Execute(u"/nv/new", back, 8), 2u);

    // Lengths, by name and by descriptor.
    make<Truncate>().Execute(u"/a.txt", 2);
    EXPECT_EQ(stat(u"/a.txt").size, 2u);
    const std::int32_t fd = Open(port.get(), kTimeout, kSubsys).Execute(u"/a.txt", 2, 0);
    make<FTruncate>().Execute(fd, 600);
    CEFSClose(port.get(), kTimeout, kSubsys).Execute(fd);
    EXPECT_EQ(stat(u"/a.txt").size, 600u);

    make<DelTree>().Execute(u"/full");
    EXPECT_THROW(stat(u"/full/inner"), CEFSException);
    EXPECT_EQ(stat(u"/a.txt").size, 600u); // what a removed link pointed at stays
}

TEST_F(RefusableCommandRoundTripTest, FailuresArriveWithTheHandsetsErrorNumbers)
{
    const std::uint8_t nine[9] = {};
    std::uint8_t room[8];
    const auto put = [&](std::u16string_view path, std::span<const std::uint8_t> data,
                         std::uint32_t flags) { make<Put>().Execute(path, data, flags, 0644); };
    const auto truncate = [&](std::u16string_view path, std::uint32_t length) {
        make<Truncate>().Execute(path, length);
    };
    const std::pair<std::function<void()>, std::uint32_t> cases[] = {
        {[&] { stat(u"/missing"); }, kNoEntry},
        {[&] { stat(u"/dangling"); }, kNoEntry},
        {[&] { stat(u"/loop"); }, kLoop},
        {[&] { stat(u"/a.txt/x"); }, kNotDirectory},
        {[&] { make<Chmod>().Execute(u"/missing", 0644); }, kNoEntry},
        {[&] { make<Symlink>().Execute(u"/x", u"/a.txt"); }, kExists},
        {[&] { make<Symlink>().Execute(u"/x", u"/dangling"); }, kExists},
        {[&] { make<Symlink>().Execute(u"/x", u"/none/l"); }, kNoEntry},
        {[&] { make<Symlink>().Execute(u"", u"/l"); }, kNoEntry},
        {[&] { make<ReadLink>().Execute(u"/a.txt"); }, kInvalidArgument},
        {[&] { make<ReadLink>().Execute(u"/missing"); }, kNoEntry},
        {[&] { make<StatFs>().Execute(u"/missing"); }, kNoEntry},
        {[&] { make<Access>().Execute(u"/missing", 0); }, kNoEntry},
        {[&] { make<Access>().Execute(u"/ro.txt", Diag::Efs2::kAccessWrite); }, kAccessDenied},
        {[&] { make<Access>().Execute(u"/a.txt", 8); }, kInvalidArgument},
        {[&] { make<DelTree>().Execute(u"/missing"); }, kNoEntry},
        {[&] { make<DelTree>().Execute(u"/"); }, kBusy},
        {[&] { truncate(u"/missing", 0); }, kNoEntry},
        {[&] { truncate(u"/full", 0); }, kIsDirectory},
        {[&] { truncate(u"/ro.txt", 0); }, kAccessDenied},
        {[&] { truncate(u"/nv/item", 0); }, kInvalidArgument},
        {[&] { truncate(u"/a.txt", 64u << 20 | 1); }, kFileTooBig},
        {[&] { truncate(u"/a.txt", kCapacity); }, kNoSpace},
        {[&] { make<FTruncate>().Execute(7, 0); }, kBadDescriptor},
        {[&] { make<Md5Sum>().Execute(u"/full"); }, kIsDirectory},
        {[&] { make<Md5Sum>().Execute(u"/missing"); }, kNoEntry},
        {[&] { put(u"/full", {}, 0x41); }, kIsDirectory},
        {[&] { put(u"/a.txt", {}, 0x41); }, kExists},
        {[&] { put(u"/nv/item", {}, 0xC1); }, kExists},
        {[&] { put(u"/nv/other", {}, 0x1); }, kNoEntry},
        {[&] { put(u"/none/item", {}, 0x41); }, kNoEntry},
        {[&] { put(u"/nv/big", nine, 0x41); }, kFileTooBig},
        {[&] { make<Get>().Execute(u"/missing", room, 8); }, kNoEntry},
        {[&] { make<Get>().Execute(u"/full", room, 8); }, kIsDirectory},
        {[&] { make<Get>().Execute(u"/nv/item", room, 2); }, kOutOfRange},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        try {
            cases[i].first();
            ADD_FAILURE() << "no exception";
        } catch (const CEFSException& e) {
            EXPECT_EQ(e.GetCode(), CEFSException::CodeFromDeviceError(cases[i].second));
        }
    }
    // A read-only descriptor is no descriptor to cut.
    const std::int32_t fd = Open(port.get(), kTimeout, kSubsys).Execute(u"/a.txt", 0, 0);
    EXPECT_THROW(make<FTruncate>().Execute(fd, 0), CEFSException);
    CEFSClose(port.get(), kTimeout, kSubsys).Execute(fd);
}

TEST_F(RefusableCommandRoundTripTest, RefusedRequestsChangeNothing)
{
    const auto snapshot = [&] {
        return handset->edit([](FileSystem& fs) {
            std::vector<std::string> names;
            for (const auto& [name, node] : fs.root()->entries) {
                const Attributes a = FileSystem::attributes(*node);
                names.push_back(name + " " + std::to_string(a.mode) + " " + std::to_string(a.size) +
                                " " + std::to_string(a.creationTime));
            }
            names.push_back(std::to_string(fs.storedBytes()));
            return names;
        });
    };
    const std::vector<std::string> before = snapshot();
    const std::function<void()> refused[] = {
        [&] { make<Chmod>().Execute(u"/missing", 0777); },
        [&] { make<Symlink>().Execute(u"/elsewhere", u"/a.txt"); },
        [&] { make<Truncate>().Execute(u"/a.txt", kCapacity); },
        [&] { make<Put>().Execute(u"/a.txt", kHello, 0x41, 0600); },
        [&] { make<DelTree>().Execute(u"/missing"); },
    };
    for (const auto& request : refused) {
        EXPECT_THROW(request(), CEFSException);
    }
    EXPECT_EQ(snapshot(), before);
}
