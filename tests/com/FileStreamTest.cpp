// A handset file through IStream, ITavoEFSFile and its connection point for
// ITavoFileCopyProgress, on an emulated handset.
#include "com/StorageTest.h"

#include "emulator/EmulatedPort.h"

#include <cstring>
#include <functional>

using Platform::Bstr;
using Platform::ComPtr;
using StorageTest::Bytes;
using StorageTest::CountingSink;
using StorageTest::HandsetTest;
using StorageTest::pattern;

namespace {

constexpr std::uint64_t kEpoch = 116444736000000000ULL;

void expectStreamError(const std::wstring& description, DWORD helpContext)
{
    StorageTest::expectError(CLSID_TavoEFSFile, IID_ITavoEFSFile, description, helpContext);
}

// A destination stream that keeps what is written to it and the size of
// each write; a real COM object on the stack.
class RecordingStream final : public IStream {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISequentialStream) ||
            IsEqualIID(iid, IID_IStream)) {
            AddRef();
            *out = static_cast<IStream*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* written) override
    {
        const auto* bytes = static_cast<const std::uint8_t*>(pv);
        data.insert(data.end(), bytes, bytes + cb);
        writes.push_back(cb);
        *written = cb;
        return S_OK;
    }
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

    Bytes data;
    std::vector<ULONG> writes;
    ULONG held() const { return references_ - 1; }

private:
    ULONG references_ = 1;
};

class StreamTest : public HandsetTest {
protected:
    // A stream on the handset file `name` of the root, opened for reading or
    // created for writing.
    ComPtr<IStream> open(const wchar_t* name)
    {
        ComPtr<IStream> stream;
        EXPECT_EQ(folder(u"/")->OpenStream(name, nullptr, 0, 0, stream.put()), S_OK);
        return stream;
    }
    ComPtr<IStream> create(const wchar_t* name)
    {
        ComPtr<IStream> stream;
        EXPECT_EQ(folder(u"/")->CreateStream(name, 0, 0, 0, stream.put()), S_OK);
        return stream;
    }
    static ComPtr<IConnectionPoint> progressPoint(IStream* stream)
    {
        ComPtr<IConnectionPoint> point;
        EXPECT_EQ(ComTest::query<IConnectionPointContainer>(stream, IID_IConnectionPointContainer)
                      ->FindConnectionPoint(IID_ITavoFileCopyProgress, point.put()),
                  S_OK);
        return point;
    }
};

TEST_F(StreamTest, ReadsStopAtTheEndAndSeeksUseTheLowHalf)
{
    addFile(u"/f", pattern(100));
    const ComPtr<IStream> stream = open(L"f");
    Bytes buffer(600);
    ULONG got = 0;
    ASSERT_EQ(stream->Read(buffer.data(), 600, &got), S_OK);
    ASSERT_EQ(got, 100u);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 100), pattern(100));
    EXPECT_EQ(stream->Read(buffer.data(), 600, &got), S_OK);
    EXPECT_EQ(got, 0u);

    LARGE_INTEGER move;
    move.QuadPart = (1LL << 32) + 5;
    ULARGE_INTEGER position;
    position.QuadPart = ~0ULL;
    ASSERT_EQ(stream->Seek(move, STREAM_SEEK_SET, &position), S_OK);
    EXPECT_EQ(position.QuadPart, 5u);
    ASSERT_EQ(stream->Read(buffer.data(), 1, nullptr), S_OK);
    EXPECT_EQ(buffer[0], pattern(100)[5]);
}

TEST_F(StreamTest, EveryPacketWrittenIsAnEventOnTheWritingThread)
{
    const ComPtr<IStream> stream = create(L"f");
    const ComPtr<IConnectionPoint> point = progressPoint(stream.get());
    CountingSink sink;
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
    const Bytes bytes = pattern(1030);
    ULONG put = 0;
    ASSERT_EQ(stream->Write(bytes.data(), 1030, &put), S_OK);
    EXPECT_EQ(put, 1030u);
    ASSERT_EQ(stream->Write(bytes.data(), 10, nullptr), S_OK);
    ASSERT_EQ(stream->Write(bytes.data(), 0, nullptr), S_OK) << "an empty write is one packet";
    std::vector<ULONG> written;
    for (const CountingSink::Event& event : sink.events) {
        written.push_back(event.written);
        EXPECT_EQ(event.total, 0u);
        EXPECT_EQ(event.thread, GetCurrentThreadId());
    }
    EXPECT_EQ(written, (std::vector<ULONG>{512, 1024, 1030, 1040, 1040}));
    ASSERT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_EQ(sink.held(), 0u);
}

TEST_F(StreamTest, StatReportsTheNameAsConnectedAndHandsetTimes)
{
    addFile(u"/sub/f", pattern(77));
    ComPtr<IStream> stream;
    ASSERT_EQ(folder(u"/")->OpenStream(L"sub/f", nullptr, 0, 0, stream.put()), S_OK);
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
                  kEpoch + 1000 * 10000000ULL);
    }
    EXPECT_EQ(stat.grfMode, static_cast<DWORD>(STGM_SHARE_EXCLUSIVE));
    EXPECT_EQ(stat.grfLocksSupported, static_cast<DWORD>(LOCK_EXCLUSIVE));
    EXPECT_TRUE(IsEqualCLSID(stat.clsid, CLSID_NULL));
    EXPECT_EQ(stat.grfStateBits | stat.reserved, 0u);
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_DEFAULT), S_OK);
    EXPECT_EQ(Platform::toU16String(stat.pwcsName), u"sub/f");
    CoTaskMemFree(stat.pwcsName);
}

TEST_F(StreamTest, CopyToMovesBlocksOfSixtyFourKilobytes)
{
    addFile(u"/f", pattern(150000));
    const ComPtr<IStream> stream = open(L"f");
    RecordingStream target;
    ULARGE_INTEGER wanted, read, written;
    wanted.QuadPart = (1ULL << 32) + 200000; // the high half is ignored
    ASSERT_EQ(stream->CopyTo(&target, wanted, &read, &written), S_OK);
    EXPECT_EQ(target.writes, (std::vector<ULONG>{65536, 65536, 18928}));
    EXPECT_EQ(read.QuadPart, 150000u);
    EXPECT_EQ(written.QuadPart, 150000u);
    EXPECT_EQ(target.data, pattern(150000));
    EXPECT_EQ(target.held(), 0u);
}

TEST_F(StreamTest, ConnectReplacesTheFileOnlyWhenItCanMakeANewOne)
{
    const auto loose = ComTest::create<IStream>(CLSID_TavoEFSFile, IID_IStream);
    std::uint8_t byte = 0;
    EXPECT_EQ(loose->Read(&byte, 1, nullptr), E_FAIL) << "not connected";
    expectStreamError(L"", 0);
    const auto looseFile = ComTest::query<ITavoEFSFile>(loose.get(), IID_ITavoEFSFile);
    ASSERT_EQ(looseFile->Connect(nullptr, 0, 5, nullptr, 0, 0, 0, 0, 0, 0, 0, 19), S_OK);
    EXPECT_EQ(loose->Read(&byte, 1, nullptr), VORNAK_E_HANDSET);
    expectStreamError(L"EFS2_DIAG_READ", 533);

    addFile(u"/f", pattern(3));
    addFile(u"/g", pattern(3));
    const ComPtr<IStream> stream = open(L"f");
    const ComPtr<IStream> other = open(L"g");
    const auto file = ComTest::query<ITavoEFSFile>(stream.get(), IID_ITavoEFSFile);
    // An item file needs the port server, which no one has registered here.
    const ComPtr<IDiagPort> itemPort = Emulator::EmulatedPort::create(handset_);
    EXPECT_EQ(file->Connect(itemPort.get(), 0, 0xFFFFFFFF, Bstr(u"/other").get(), 0, 0, 0, 0, 0, 0,
                            0, 19),
              E_POINTER);
    expectStreamError(L"", 0);
    STATSTG stat = {};
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_DEFAULT), S_OK) << "the old file stays";
    EXPECT_EQ(Platform::toU16String(stat.pwcsName), u"/other") << "the new name is kept";
    CoTaskMemFree(stat.pwcsName);

    ASSERT_EQ(file->Connect(port_.get(), 0, 77, nullptr, 0, 0, 0, 0, 0, 0, 0, 19), S_OK);
    EXPECT_EQ(handset_->openDescriptors(), 1u) << "the replaced file closed its descriptor";

    ULONG count = 0;
    ULARGE_INTEGER size = {};
    for (HRESULT hr : {stream->Read(nullptr, 1, &count), stream->Write(nullptr, 1, &count),
                       stream->CopyTo(nullptr, size, nullptr, nullptr)}) {
        EXPECT_EQ(hr, E_POINTER);
    }
    EXPECT_EQ(stream->Stat(nullptr, 0), E_INVALIDARG);
    EXPECT_FALSE(ComTest::takeErrorInfo().present);
}

TEST_F(StreamTest, UnsupportedMethodsNameThemselves)
{
    const auto stream = ComTest::create<IStream>(CLSID_TavoEFSFile, IID_IStream);
    const ULARGE_INTEGER zero = {};
    IStream* copy = nullptr;
    const struct {
        const wchar_t* description;
        std::function<HRESULT()> call;
    } cases[] = {
        {L"IStream::SetSize", [&] { return stream->SetSize(zero); }},
        {L"IStream::Commit", [&] { return stream->Commit(0); }},
        {L"IStream::Revert", [&] { return stream->Revert(); }},
        {L"IStream::LockRegion", [&] { return stream->LockRegion(zero, zero, 0); }},
        {L"IStream::UnlockRegion", [&] { return stream->UnlockRegion(zero, zero, 0); }},
        {L"IStream::Clone", [&] { return stream->Clone(&copy); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.description);
        EXPECT_EQ(c.call(), E_NOTIMPL);
        expectStreamError(c.description, 0);
    }
}

TEST_F(StreamTest, SinksComeAndGoThroughTheConnectionPoint)
{
    ComPtr<IStream> stream = create(L"f");
    auto container =
        ComTest::query<IConnectionPointContainer>(stream.get(), IID_IConnectionPointContainer);
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(IID_IStream, point.put()), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point.get(), nullptr);
    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(points.put()), S_OK);
    ULONG fetched = 0;
    ASSERT_EQ(points->Next(1, point.put(), &fetched), S_OK);
    IID iid = IID_NULL;
    EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_TRUE(IsEqualIID(iid, IID_ITavoFileCopyProgress));
    IConnectionPoint* more = nullptr;
    EXPECT_EQ(points->Next(1, &more, &fetched), S_FALSE);
    EXPECT_EQ(more, nullptr);

    CountingSink first, second, third;
    ComTest::CountedPort notASink;
    DWORD cookies[3] = {};
    EXPECT_EQ(point->Advise(&notASink, &cookies[0]), CONNECT_E_CANNOTCONNECT);
    ASSERT_EQ(point->Advise(&first, &cookies[0]), S_OK);
    ASSERT_EQ(point->Advise(&second, &cookies[1]), S_OK);
    EXPECT_EQ(point->Unadvise(cookies[0]), S_OK);
    ASSERT_EQ(point->Advise(&third, &cookies[2]), S_OK);
    EXPECT_EQ(cookies[2], cookies[0]) << "a freed slot is used again";
    EXPECT_EQ(point->Unadvise(cookies[0] + 5), CONNECT_E_NOCONNECTION);

    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(point->EnumConnections(connections.put()), S_OK);
    CONNECTDATA data[3] = {};
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
    EXPECT_EQ(third.events.size(), 1u);
    EXPECT_EQ(second.events.size(), 2u);
    EXPECT_EQ(first.events.size(), 0u);
    EXPECT_EQ(first.held() + third.held(), 0u);
    EXPECT_EQ(second.held(), 1u);
    point.reset();
    points.reset();
    container.reset();
    EXPECT_EQ(stream.detach()->Release(), 0u) << "the points live inside the stream";
    EXPECT_EQ(second.held(), 0u) << "held until the stream goes";
}

} // namespace
