// Files copied between the handset and a folder of the host: to the host
// with MoveElementTo, to the handset with CreateStream and the host stream's
// CopyTo.
#include "StorageTest.h"

using Platform::ComPtr;
using StorageTest::HostFolder;
using StorageTest::pattern;

namespace {

class CopyTest : public StorageTest::HandsetTest,
                 public ::testing::WithParamInterface<std::size_t> {
protected:
    ComPtr<IStorage> root_ = folder(u"/");
    ComPtr<IStorage> hostFolder_ = ComTest::create<IStorage>(CLSID_TavoWinFolder, IID_IStorage);
    HostFolder host_;
};

TEST_P(CopyTest, BothWaysByteForByteWithAnEventPerPacket)
{
    const std::size_t size = GetParam();
    addFile(u"/f", pattern(size));
    const std::wstring copy = host_.file(L"copy");
    ASSERT_EQ(root_->MoveElementTo(L"f", hostFolder_.get(), copy.c_str(), STGMOVE_COPY), S_OK);
    EXPECT_EQ(HostFolder::read(copy), pattern(size));

    ComPtr<IStream> from;
    ASSERT_EQ(hostFolder_->OpenStream(copy.c_str(), nullptr, STGM_READ, 0, from.put()), S_OK);
    ComPtr<IStream> to;
    ASSERT_EQ(root_->CreateStream(L"back", STGM_WRITE, 0, 0, to.put()), S_OK);
    const auto sink = StorageTest::CountingSink::make();
    DWORD cookie = 0;
    sink->advise(to.get(), cookie);
    ULARGE_INTEGER wanted, read, written;
    wanted.QuadPart = size;
    ASSERT_EQ(from->CopyTo(to.get(), wanted, &read, &written), S_OK);
    to.reset();
    EXPECT_EQ(content(u"/back"), pattern(size));
    // The host's CopyTo writes nothing at all for an empty file, so no
    // packet goes and no event comes.
    EXPECT_EQ(sink->written.size(), (size + 511) / 512);
    EXPECT_EQ(sink->written.empty() ? 0 : sink->written.back(), size);
    EXPECT_EQ(sink->held(), 0u) << "the stream let the sink go";
}

// Around the packet of 512 bytes and the copy buffer of 65,536.
INSTANTIATE_TEST_SUITE_P(Sizes, CopyTest,
                         ::testing::Values(0, 1, 511, 512, 513, 65535, 65536, 65537, 150000));

TEST_F(CopyTest, ACopyWhoseSourceCannotBeOpenedLeavesAnEmptyDestination)
{
    addDirectory(u"/sub");
    const struct {
        const wchar_t* name;
        const wchar_t* description;
        DWORD helpContext;
    } cases[] = {
        {L"missing", L"EFS2_DIAG_OPEN /missing", 3},
        {L"sub", L"EFS2_DIAG_OPEN /sub", 22}, // EISDIR: only files are copied
    };
    for (const auto& c : cases) {
        const std::wstring target = host_.file(L"empty");
        HostFolder::write(target, pattern(10));
        EXPECT_EQ(root_->MoveElementTo(c.name, hostFolder_.get(), target.c_str(), STGMOVE_COPY),
                  VORNAK_E_HANDSET);
        StorageTest::expectError(CLSID_TavoEFSFolder, IID_IStorage, c.description, c.helpContext);
        EXPECT_TRUE(HostFolder::read(target).empty());
    }
}

} // namespace
