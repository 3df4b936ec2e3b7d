// A handset file through IStream, ITavoEFSFile and its connection point for
// ITavoFileCopyProgress, on an emulated handset.
#include "StorageTest.h"

#include "diag/HandsetTime.h"

using Platform::ComPtr;
using StorageTest::Bytes;
using StorageTest::CountingSink;
using StorageTest::pattern;

namespace {

// A destination for CopyTo: it keeps every byte written to it, and answers
// each Write with `result` and the count `reported` makes of the one it was
// given.
class DestinationStream final : public ComServer::ComObject<DestinationStream, IStream> {
public:
    static std::span<const ComServer::InterfaceEntry<DestinationStream>> interfaceTable()
    {
        static constexpr ComServer::InterfaceEntry<DestinationStream> table[] = {
            ComServer::interfaceEntry<DestinationStream, IStream>(IID_IStream),
            ComServer::interfaceEntry<DestinationStream, ISequentialStream>(IID_ISequentialStream),
        };
        return table;
    }

    HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) override
    {
        writes.push_back(cb);
        const auto* bytes = static_cast<const std::uint8_t*>(pv);
        received.insert(received.end(), bytes, bytes + cb);
        *pcbWritten = reported(cb);
        return result;
    }
    HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                     ULARGE_INTEGER*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

    std::vector<ULONG> writes;
    Bytes received;
    std::function<ULONG(ULONG)> reported;
    HRESULT result = S_OK;

private:
    friend ComObject;
    DestinationStream(std::function<ULONG(ULONG)> report, HRESULT answer)
        : reported(std::move(report))
        , result(answer)
    {}
};

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
};

TEST_F(StreamTest, ReadsStopAtTheEndSeeksTakeTheLowHalfAndStatNamesTheFile)
{
    addFile(u"/sub/f", pattern(100));
    const ComPtr<IStream> stream = open(L"sub/f");
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

    // Times count from the handset's epoch, each its own (the emulator made
    // the file a second before it changed it at 1000, and read it a second
    // after); the name is the one connected.
    STATSTG stat = {};
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_DEFAULT), S_OK);
    EXPECT_EQ(Platform::toU16String(stat.pwcsName), u"sub/f");
    CoTaskMemFree(stat.pwcsName);
    EXPECT_EQ(stat.type, static_cast<DWORD>(STGTY_STREAM));
    EXPECT_EQ(stat.cbSize.QuadPart, 100u);
    EXPECT_EQ((std::uint64_t{stat.mtime.dwHighDateTime} << 32) | stat.mtime.dwLowDateTime,
              116444736000000000ULL + 1000 * 10000000ULL);
    EXPECT_EQ(Diag::Efs2::secondsOf(stat.ctime), 999u);
    EXPECT_EQ(Diag::Efs2::secondsOf(stat.atime), 1001u);
    // Opened or created, every stream reports itself alike.
    EXPECT_EQ(stat.grfMode, static_cast<DWORD>(STGM_SHARE_EXCLUSIVE));
    EXPECT_EQ(stat.grfLocksSupported, static_cast<DWORD>(LOCK_EXCLUSIVE));
    EXPECT_TRUE(IsEqualCLSID(stat.clsid, CLSID_NULL));
    STATSTG created = {};
    ASSERT_EQ(open(L"new", true)->Stat(&created, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(created.grfMode, static_cast<DWORD>(STGM_SHARE_EXCLUSIVE));
    EXPECT_EQ(stream->Read(nullptr, 1, &got), E_POINTER);
    EXPECT_EQ(stream->Stat(nullptr, 0), E_INVALIDARG);

    // What a stream without a file throws becomes E_FAIL.
    const auto loose = ComTest::create<IStream>(CLSID_TavoEFSFile, IID_IStream);
    EXPECT_EQ(loose->Read(buffer.data(), 1, nullptr), E_FAIL);
    StorageTest::expectError(CLSID_TavoEFSFile, IID_ITavoEFSFile, L"", 0);
}

// CopyTo reads through its buffer of 65,536 bytes and hands each read to the
// destination; the totals count what was read and what the destination
// says it took, never more than it was given.
TEST_F(StreamTest, CopyToMovesBufferfulsAndCountsWhatTheDestinationTook)
{
    const Bytes file = pattern(150000);
    addFile(u"/f", file);
    const auto all = [](ULONG cb) { return cb; };
    const struct {
        const char* name;
        ULONGLONG cb;
        std::function<ULONG(ULONG)> reported;
        HRESULT result;
        std::vector<ULONG> writes;
        ULONGLONG read;
        ULONGLONG written;
    } cases[] = {
        {"beyond the end", 200000, all, S_OK, {65536, 65536, 18928}, 150000, 150000},
        {"within the file", 100000, all, S_OK, {65536, 34464}, 100000, 100000},
        {"the low half only", (1ULL << 32) + 10, all, S_OK, {10}, 10, 10},
        {"nothing", 0, all, S_OK, {0}, 0, 0},
        {"half taken",
         100000,
         [](ULONG cb) { return cb / 2; },
         S_OK,
         {65536, 34464},
         100000,
         50000},
        {"more claimed",
         100000,
         [](ULONG cb) { return cb + 7; },
         S_OK,
         {65536, 34464},
         100000,
         100000},
        {"refused", 100000, [](ULONG) { return 0; }, E_FAIL, {65536, 34464}, 100000, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto destination = DestinationStream::make(c.reported, c.result);
        ULARGE_INTEGER wanted, read, written;
        wanted.QuadPart = c.cb;
        read.QuadPart = written.QuadPart = 0xDEADBEEFDEADBEEF;
        ASSERT_EQ(open(L"f")->CopyTo(destination.get(), wanted, &read, &written), S_OK);
        EXPECT_EQ(destination->writes, c.writes);
        EXPECT_TRUE(
            std::equal(destination->received.begin(), destination->received.end(), file.begin()));
        EXPECT_EQ(read.QuadPart, c.read);
        EXPECT_EQ(written.QuadPart, c.written);
    }
}

TEST_F(StreamTest, EveryPacketWrittenIsAnEvent)
{
    const ComPtr<IStream> stream = open(L"f", true);
    const auto sink = CountingSink::make();
    DWORD cookie = 0;
    const ComPtr<IConnectionPoint> point = sink->advise(stream.get(), cookie);
    const Bytes bytes = pattern(1030);
    ULONG put = 0;
    ASSERT_EQ(stream->Write(bytes.data(), 1030, &put), S_OK);
    EXPECT_EQ(put, 1030u);
    ASSERT_EQ(stream->Write(bytes.data(), 0, nullptr), S_OK) << "an empty write is one packet";
    EXPECT_EQ(sink->written, (std::vector<ULONG>{512, 1024, 1030, 1030}));
    EXPECT_EQ(content(u"/f"), bytes);
    ASSERT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_EQ(sink->held(), 0u);
}

TEST_F(StreamTest, SinksComeAndGoThroughTheConnectionPoint)
{
    ComPtr<IStream> stream = open(L"f", true);
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(ComTest::query<IConnectionPointContainer>(stream.get(), IID_IConnectionPointContainer)
                  ->FindConnectionPoint(IID_IStream, point.put()),
              CONNECT_E_NOCONNECTION);
    const auto first = CountingSink::make();
    const auto second = CountingSink::make();
    const auto third = CountingSink::make();
    DWORD cookies[3] = {};
    point = first->advise(stream.get(), cookies[0]);
    EXPECT_EQ(point->Advise(ComTest::CountedPort::make().get(), &cookies[1]),
              CONNECT_E_CANNOTCONNECT);
    ASSERT_EQ(point->Advise(second.get(), &cookies[1]), S_OK);
    EXPECT_EQ(point->Unadvise(cookies[0]), S_OK);
    EXPECT_EQ(point->Unadvise(cookies[0]), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(point->Advise(third.get(), &cookies[2]), S_OK);

    // A sink may leave while it is being told; the write goes on.
    third->onEvent = [&] { point->Unadvise(cookies[2]); };
    const Bytes bytes = pattern(1024);
    ASSERT_EQ(stream->Write(bytes.data(), 1024, nullptr), S_OK);
    EXPECT_EQ(third->written.size(), 1u);
    EXPECT_EQ(second->written.size(), 2u);
    EXPECT_EQ(first->written.size() + first->held() + third->held(), 0u);
    point.reset();
    EXPECT_EQ(stream.detach()->Release(), 0u);
    EXPECT_EQ(second->held(), 0u) << "held until the stream goes";
}

TEST_F(StreamTest, EnumeratorsHandOutThePointAndTheSinksAsTheyWere)
{
    ComPtr<IStream> stream = open(L"f", true);
    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(ComTest::query<IConnectionPointContainer>(stream.get(), IID_IConnectionPointContainer)
                  ->EnumConnectionPoints(points.put()),
              S_OK);
    IConnectionPoint* found[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(points->Next(2, found, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    IID iid{};
    EXPECT_EQ(found[0]->GetConnectionInterface(&iid), S_OK);
    EXPECT_TRUE(IsEqualIID(iid, IID_ITavoFileCopyProgress));
    found[0]->Release();

    const auto first = CountingSink::make();
    const auto second = CountingSink::make();
    DWORD cookies[2] = {};
    ComPtr<IConnectionPoint> point = first->advise(stream.get(), cookies[0]);
    second->advise(stream.get(), cookies[1]);
    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(point->EnumConnections(connections.put()), S_OK);
    EXPECT_EQ(point->Unadvise(cookies[0]), S_OK); // the enumerator keeps what it was given
    EXPECT_EQ(connections->Skip(1), S_OK);
    ComPtr<IEnumConnections> clone;
    ASSERT_EQ(connections->Clone(clone.put()), S_OK);
    CONNECTDATA data[2] = {};
    EXPECT_EQ(clone->Next(2, data, &fetched), S_FALSE); // the clone starts where its source is
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(data[0].dwCookie, cookies[1]);
    data[0].pUnk->Release();
    EXPECT_EQ(connections->Skip(2), S_FALSE);
    EXPECT_EQ(connections->Reset(), S_OK);
    ASSERT_EQ(connections->Next(1, data, nullptr), S_OK);
    EXPECT_EQ(data[0].dwCookie, cookies[0]);
    data[0].pUnk->Release();
    connections.reset();
    clone.reset();
    EXPECT_EQ(first->held(), 0u);
    EXPECT_EQ(point->Unadvise(cookies[1]), S_OK);
    EXPECT_EQ(second->held(), 0u);
}

} // namespace
