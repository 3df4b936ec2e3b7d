// A handset file through IStream, ITavoEFSFile and its connection point for
// ITavoFileCopyProgress, on an emulated handset.
#include "com/StorageTest.h"

#include "emulator/EmulatedPort.h"

#include <cstring>

using Platform::Bstr;
using Platform::ComPtr;
using StorageTest::Bytes;
using StorageTest::CountingSink;
using StorageTest::pattern;

namespace {

class StreamTest : public StorageTest::HandsetTest {
protected:
    // A stream on a file of the root: opened for reading, or created.
    ComPtr<IStream> open(const wchar_t* name, bool create = false)
    {
        ComPtr<IStream> stream;
        const ComPtr<IStorage> root = folder(u"/");
        EXPECT_EQ(create ? root->CreateStream(name, 0, 0, 0, stream.put())
                         : root->OpenStream(name, nullptr, 0, 0, stream.put()),
                  S_OK);
        return stream;
    }
    static void expectStreamError(const std::wstring& description, DWORD helpContext)
    {
        StorageTest::expectError(CLSID_TavoEFSFile, IID_ITavoEFSFile, description, helpContext);
    }
};

TEST_F(StreamTest, ReadsStopAtTheEndAndSeeksTakeTheLowHalf)
{
    addFile(u"/f", pattern(100));
    const ComPtr<IStream> stream = open(L"f");
    Bytes buffer(600);
    ULONG got = 0;
    ASSERT_EQ(stream->Read(buffer.data(), 600, &got), S_OK);
    ASSERT_EQ(got, 100u);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 100, pattern(100).begin()));
    EXPECT_EQ(stream->Read(buffer.data(), 600, &got), S_OK);
    EXPECT_EQ(got, 0u);

    LARGE_INTEGER move;
    move.QuadPart = (1LL << 32) + 5;
    ULARGE_INTEGER position;
    ASSERT_EQ(stream->Seek(move, STREAM_SEEK_SET, &position), S_OK);
    EXPECT_EQ(position.QuadPart, 5u);
    ASSERT_EQ(stream->Read(buffer.data(), 1, nullptr), S_OK);
    EXPECT_EQ(buffer[0], pattern(100)[5]);
    EXPECT_EQ(stream->Read(nullptr, 1, &got), E_POINTER);
    EXPECT_EQ(stream->Stat(nullptr, 0), E_INVALIDARG);
}

TEST_F(StreamTest, EveryPacketWrittenIsAnEvent)
{
    const ComPtr<IStream> stream = open(L"f", true);
    CountingSink sink;
    DWORD cookie = 0;
    const ComPtr<IConnectionPoint> point = sink.advise(stream.get(), cookie);
    const Bytes bytes = pattern(1030);
    ULONG put = 0;
    ASSERT_EQ(stream->Write(bytes.data(), 1030, &put), S_OK);
    EXPECT_EQ(put, 1030u);
    ASSERT_EQ(stream->Write(bytes.data(), 10, nullptr), S_OK);
    ASSERT_EQ(stream->Write(bytes.data(), 0, nullptr), S_OK) << "an empty write is one packet";
    EXPECT_EQ(sink.written, (std::vector<ULONG>{512, 1024, 1030, 1040, 1040}));
    EXPECT_EQ(content(u"/f").size(), 1040u);
    ASSERT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_EQ(sink.held(), 0u);
}

TEST_F(StreamTest, StatGivesTheNameAsConnectedAndHandsetTimes)
{
    addFile(u"/sub/f", pattern(77));
    const ComPtr<IStream> stream = open(L"sub/f");
    STATSTG stat;
    std::memset(&stat, 0xCD, sizeof stat);
    const auto untouched = reinterpret_cast<LPOLESTR>(&stat);
    stat.pwcsName = untouched;
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.pwcsName, untouched);
    EXPECT_EQ(stat.type, static_cast<DWORD>(STGTY_STREAM));
    EXPECT_EQ(stat.cbSize.QuadPart, 77u);
    for (const FILETIME& time : {stat.mtime, stat.ctime, stat.atime}) {
        EXPECT_EQ((std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime,
                  116444736000000000ULL + 1000 * 10000000ULL);
    }
    EXPECT_EQ(stat.grfMode, static_cast<DWORD>(STGM_SHARE_EXCLUSIVE));
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_DEFAULT), S_OK);
    EXPECT_EQ(Platform::toU16String(stat.pwcsName), u"sub/f") << "the whole name given";
    CoTaskMemFree(stat.pwcsName);
}

TEST_F(StreamTest, ConnectReplacesTheFileOnlyWhenItCanMakeANewOne)
{
    const auto loose = ComTest::create<IStream>(CLSID_TavoEFSFile, IID_IStream);
    std::uint8_t byte = 0;
    EXPECT_EQ(loose->Read(&byte, 1, nullptr), E_FAIL) << "not connected";
    expectStreamError(L"", 0);
    ASSERT_EQ(ComTest::query<ITavoEFSFile>(loose.get(), IID_ITavoEFSFile)
                  ->Connect(nullptr, 0, 5, nullptr, 0, 0, 0, 0, 0, 0, 0, 19),
              S_OK);
    EXPECT_EQ(loose->Read(&byte, 1, nullptr), VORNAK_E_HANDSET);
    expectStreamError(L"EFS2_DIAG_READ", 533);

    addFile(u"/f", pattern(3));
    const ComPtr<IStream> stream = open(L"f");
    const auto file = ComTest::query<ITavoEFSFile>(stream.get(), IID_ITavoEFSFile);
    // An item file needs a port that names itself; an enumerator does not.
    const auto notAPort = ComTest::create<IUnknown>(CLSID_TavoEFSEnum, IID_IUnknown);
    EXPECT_EQ(
        file->Connect(notAPort.get(), 0, 0xFFFFFFFF, Bstr(u"/new").get(), 0, 0, 0, 0, 0, 0, 0, 19),
        E_NOINTERFACE);
    expectStreamError(L"", 0);
    STATSTG stat = {};
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_DEFAULT), S_OK) << "the old file stays";
    EXPECT_EQ(Platform::toU16String(stat.pwcsName), u"/new") << "the new name is kept";
    CoTaskMemFree(stat.pwcsName);

    ASSERT_EQ(file->Connect(port_.get(), 0, 77, nullptr, 0, 0, 0, 0, 0, 0, 0, 19), S_OK);
    EXPECT_EQ(handset_->openDescriptors(), 0u) << "the replaced file closed its descriptor";
}

TEST_F(StreamTest, SinksComeAndGoThroughTheConnectionPoint)
{
    ComPtr<IStream> stream = open(L"f", true);
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(ComTest::query<IConnectionPointContainer>(stream.get(), IID_IConnectionPointContainer)
                  ->FindConnectionPoint(IID_IStream, point.put()),
              CONNECT_E_NOCONNECTION);
    CountingSink first, second, third;
    DWORD cookies[3] = {};
    point = first.advise(stream.get(), cookies[0]);
    ComTest::CountedPort notASink;
    EXPECT_EQ(point->Advise(&notASink, &cookies[1]), CONNECT_E_CANNOTCONNECT);
    ASSERT_EQ(point->Advise(&second, &cookies[1]), S_OK);
    EXPECT_EQ(point->Unadvise(cookies[0]), S_OK);
    ASSERT_EQ(point->Advise(&third, &cookies[2]), S_OK);
    EXPECT_EQ(cookies[2], cookies[0]) << "a freed slot is used again";
    EXPECT_EQ(point->Unadvise(cookies[0] + 5), CONNECT_E_NOCONNECTION);

    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(point->EnumConnections(connections.put()), S_OK);
    CONNECTDATA data[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(connections->Next(3, data, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(data[0].dwCookie, cookies[2]);
    EXPECT_EQ(data[1].dwCookie, cookies[1]);
    data[0].pUnk->Release();
    data[1].pUnk->Release();
    connections.reset();

    // A sink may leave while it is being told; the write goes on.
    third.onEvent = [&] { point->Unadvise(cookies[2]); };
    const Bytes bytes = pattern(1024);
    ASSERT_EQ(stream->Write(bytes.data(), 1024, nullptr), S_OK);
    EXPECT_EQ(third.written.size(), 1u);
    EXPECT_EQ(second.written.size(), 2u);
    EXPECT_EQ(first.written.size() + first.held() + third.held(), 0u);
    point.reset();
    EXPECT_EQ(stream.detach()->Release(), 0u);
    EXPECT_EQ(second.held(), 0u) << "held until the stream goes";
}

} // namespace
