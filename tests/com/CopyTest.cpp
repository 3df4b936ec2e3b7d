// Files copied between the handset and a folder of the host: handset to
// host with MoveElementTo, host to handset with CreateStream and the host
// stream's CopyTo.
#include "com/StorageTest.h"

#include <string>

using Platform::ComPtr;
using StorageTest::Bytes;
using StorageTest::CountingSink;
using StorageTest::HostFolder;
using StorageTest::pattern;

namespace {

// Around the packet of 512 bytes and the copy buffer of 65,536.
constexpr std::size_t kSizes[] = {0, 1, 511, 512, 513, 65535, 65536, 65537, 150000};

class CopyTest : public StorageTest::HandsetTest {
protected:
    ComPtr<IStorage> hostFolder_ = ComTest::create<IStorage>(CLSID_TavoWinFolder, IID_IStorage);
    HostFolder host_;
};

TEST_F(CopyTest, HandsetFilesReachTheHostByteForByte)
{
    const ComPtr<IStorage> d = folder(u"/d");
    for (const std::size_t size : kSizes) {
        SCOPED_TRACE(size);
        std::u16string name = u"f";
        for (const char digit : std::to_string(size)) {
            name += static_cast<char16_t>(digit);
        }
        addFile((u"/d/" + name).c_str(), pattern(size));
        const std::wstring target = host_.file(L"copy" + std::to_wstring(size));
        ASSERT_EQ(d->MoveElementTo(Platform::asOleText(name.c_str()), hostFolder_.get(),
                                   target.c_str(), STGMOVE_COPY),
                  S_OK);
        EXPECT_EQ(HostFolder::read(target), pattern(size));
    }
}

TEST_F(CopyTest, HostFilesReachTheHandsetWithAnEventPerPacket)
{
    const ComPtr<IStorage> root = folder(u"/");
    for (const std::size_t size : kSizes) {
        SCOPED_TRACE(size);
        const std::wstring source = host_.file(L"source" + std::to_wstring(size));
        HostFolder::write(source, pattern(size));
        ComPtr<IStream> from;
        ASSERT_EQ(hostFolder_->OpenStream(source.c_str(), nullptr, STGM_READ, 0, from.put()), S_OK);
        ComPtr<IStream> to;
        ASSERT_EQ(root->CreateStream(L"copy", STGM_WRITE, 0, 0, to.put()), S_OK);
        ComPtr<IConnectionPoint> point;
        ASSERT_EQ(ComTest::query<IConnectionPointContainer>(to.get(), IID_IConnectionPointContainer)
                      ->FindConnectionPoint(IID_ITavoFileCopyProgress, point.put()),
                  S_OK);
        CountingSink sink;
        DWORD cookie = 0;
        ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);

        ULARGE_INTEGER wanted, read, written;
        wanted.QuadPart = size;
        ASSERT_EQ(from->CopyTo(to.get(), wanted, &read, &written), S_OK);
        EXPECT_EQ(written.QuadPart, size);
        point.reset();
        to.reset();
        EXPECT_EQ(content(u"/copy"), pattern(size));
        // The host's stream writes in blocks of 1,024 bytes, each two packets
        // or fewer, and for an empty file it writes nothing at all.
        EXPECT_EQ(sink.events.size(), (size + 511) / 512);
        if (!sink.events.empty()) {
            EXPECT_EQ(sink.events.back().written, size);
        }
        EXPECT_EQ(sink.held(), 0u);
    }
}

TEST_F(CopyTest, ACopyWhoseSourceCannotBeOpenedLeavesAnEmptyDestination)
{
    addDirectory(u"/d/sub");
    const ComPtr<IStorage> d = folder(u"/d");
    const struct {
        const wchar_t* name;
        const wchar_t* description;
        DWORD helpContext;
    } cases[] = {
        {L"missing", L"EFS2_DIAG_OPEN /d/missing", 3},
        {L"sub", L"EFS2_DIAG_OPEN /d/sub", 22}, // EISDIR: only files are copied
    };
    for (const auto& c : cases) {
        const std::wstring target = host_.file(L"empty");
        HostFolder::write(target, pattern(10));
        EXPECT_EQ(d->MoveElementTo(c.name, hostFolder_.get(), target.c_str(), STGMOVE_COPY),
                  VORNAK_E_HANDSET);
        StorageTest::expectError(CLSID_TavoEFSFolder, IID_IStorage, c.description, c.helpContext);
        EXPECT_TRUE(HostFolder::read(target).empty());
    }
}

} // namespace
