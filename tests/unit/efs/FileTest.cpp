// Device files against the emulated handset, and against a scripted port
// where the handset's answers must be ones the emulator never gives.
#include "EfsTest.h"

#include "diag/EFSClose.h"
#include "diag/EFSOpen.h"
#include "comserver/ComObject.h"
#include "diag/ReservedSlots.h"
#include "efs/File.h"
#include "mem/RefCount.h"
#include "platform/Thread.h"
#include "support/ScriptedPort.h"

#include <gmock/gmock.h>

#include <stdexcept>

using EfsTest::Bytes;
using EfsTest::caught;
using EfsTest::Packet;
using EfsTest::patterned;
using ::testing::ElementsAre;
namespace Efs2 = Diag::Efs2;

namespace {

using FilePointer = Rc::Pointer<Efs::FileBase>;
using Counts = std::vector<std::uint32_t>;

class FileTest : public EfsTest::HandsetFixture {
protected:
    // The handset file at `path`, open with `flags`, as a device file.
    FilePointer open(const char16_t* path, std::uint32_t flags = Efs2::kOpenReadOnly)
    {
        lastFd = Diag::Efs::Open(port.get(), kTimeout, kSubsys).Execute(path, flags, 0666);
        return fileOn(lastFd, port.get());
    }
    static FilePointer fileOn(std::int32_t fd, IUnknown* somePort)
    {
        return Rc::makeHeap<Efs::File, Efs::FileBase>(fd, somePort, kTimeout, kSubsys);
    }

    std::int32_t lastFd = -1;
};

// Records every progress call.
struct ProgressLog : Marl::Efs::EFSFileProgress {
    struct Call {
        std::uint32_t soFar, total, thread;
        bool operator==(const Call&) const = default;
    };
    std::vector<Call> calls;
    void FileWriteProgress(std::uint32_t soFar, std::uint32_t total, std::uint32_t thread) override
    {
        calls.push_back({soFar, total, thread});
    }
    void FileReadProgress(std::uint32_t, std::uint32_t, std::uint32_t) override { ADD_FAILURE(); }
};

} // namespace

TEST_F(FileTest, ReadsStopAtAShortPacketOrWhenNothingRemains)
{
    const struct {
        std::size_t fileSize;
        std::uint32_t requested;
        Counts packets;
        std::uint32_t returned;
    } cases[] = {
        {1000, 1300, {512, 512}, 1000},    // the second packet is short: end of file
        {2048, 1024, {512, 512}, 1024},    // nothing remains after two packets
        {2048, 1025, {512, 512, 1}, 1025}, // a third packet for the last byte
        {100, 0, {0}, 0},                  // even 0 bytes is one request
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.requested);
        const Bytes content = patterned(c.fileSize);
        addFile(u"/f", content);
        port->requests.clear();
        {
            FilePointer file = open(u"/f");
            Bytes buffer(c.requested + 1, 0xEE);
            EXPECT_EQ(file->Read(buffer.data(), c.requested), c.returned);
            EXPECT_EQ(file->position(), c.returned);
            EXPECT_TRUE(std::equal(content.begin(), content.begin() + c.returned, buffer.begin()));
            EXPECT_EQ(buffer[c.returned], 0xEE); // nothing beyond what was read
        }
        EXPECT_EQ(readCounts(), c.packets);
    }
}

TEST_F(FileTest, AnswerForAnotherOffsetIsAskedAgainTwiceWithLogAndPause)
{
    addFile(u"/f", patterned(600));
    FilePointer file = open(u"/f");
    Bytes buffer(600);
    ASSERT_EQ(file->Read(buffer.data(), 512), 512u);
    port->requests.clear();

    Platform::SleepRecorder pauses;
    handset->queueFault(Emulator::Fault::staleOffset().on(Efs2::Read));
    handset->queueFault(Emulator::Fault::staleOffset().on(Efs2::Read));
    EXPECT_EQ(file->Read(buffer.data(), 88), 88u);
    EXPECT_EQ(fieldOf(Efs2::Read, 12), (Counts{512, 512, 512}));
    EXPECT_EQ(pauses.pauses(), (Counts{kTimeout, kTimeout}));
    EXPECT_THAT(log->lines(),
                ElementsAre(Efs::File::kOffsetMismatchLogLine, Efs::File::kOffsetMismatchLogLine));
    EXPECT_EQ(file->position(), 600u);
}

TEST_F(FileTest, RetryWorksWithoutALogToo)
{
    // The scripted port has no IServerPort, so there is nowhere to log; the
    // read is asked again all the same.
    auto scripted = TestSupport::ScriptedPort::create();
    const Bytes read = Packet(Efs2::Read).u32(3).u32(4).u32(0);
    scripted->expect(read, Packet(Efs2::Read).u32(3).u32(9).u32(4).u32(0).raw("late"))
        .expect(read, Packet(Efs2::Read).u32(3).u32(0).u32(4).u32(0).raw("good"))
        .expect(Packet(Efs2::Close).u32(3), Packet(Efs2::Close).u32(0));
    Platform::SleepRecorder pauses;
    Bytes buffer(4);
    EXPECT_EQ(fileOn(3, scripted.get())->Read(buffer.data(), 4), 4u);
    EXPECT_EQ(buffer, TestSupport::bytesOf("good"));
    EXPECT_EQ(pauses.pauses().size(), 1u);
    EXPECT_EQ(scripted->pending(), 0u);
}

TEST_F(FileTest, WritesGoOutInPacketsWithProgressAfterEach)
{
    addFile(u"/f", {});
    const Bytes data = patterned(1110);
    ProgressLog progress;
    {
        FilePointer file = open(u"/f", Efs2::kOpenCreateForWriting);
        EXPECT_EQ(file->Write(data.data(), 1100, &progress), 1100u);
        EXPECT_EQ(file->Write(data.data() + 1100, 10, &progress), 10u);
        EXPECT_EQ(file->Write(data.data(), 0, &progress), 0u); // one empty packet, one report
        EXPECT_EQ(file->position(), 1110u);
    }
    Counts lengths;
    for (const Bytes& request : port->requests) {
        if (request[2] == Efs2::Write) {
            lengths.push_back(static_cast<std::uint32_t>(request.size() - 12));
        }
    }
    EXPECT_EQ(lengths, (Counts{512, 512, 76, 10, 0}));
    EXPECT_EQ(fieldOf(Efs2::Write, 8), (Counts{0, 512, 1024, 1100, 1110}));
    const std::uint32_t me = Platform::currentThreadId();
    EXPECT_EQ(progress.calls,
              (std::vector<ProgressLog::Call>{
                  {512, 0, me}, {1024, 0, me}, {1100, 0, me}, {1110, 0, me}, {1110, 0, me}}));
    Bytes stored;
    EXPECT_EQ(handset->readFile(u"/f", stored), 0u);
    EXPECT_EQ(stored, data);
}

TEST_F(FileTest, WriteAnswersThatClaimTooLittleOrTooMuch)
{
    auto scripted = TestSupport::ScriptedPort::create();
    const std::string data(1024, 'w');
    const Bytes firstPacket = Packet(Efs2::Write).u32(3).u32(0).raw(data.substr(0, 512));
    const Bytes close = Packet(Efs2::Close).u32(3);
    // The handset took less than a whole packet: the write stops there.
    scripted->expect(firstPacket, Packet(Efs2::Write).u32(3).u32(0).u32(100).u32(0))
        .expect(close, Packet(Efs2::Close).u32(0));
    // It claims more than the packet held: malformed, and the position stays.
    scripted->expect(firstPacket, Packet(Efs2::Write).u32(3).u32(0).u32(513).u32(0))
        .expect(close, Packet(Efs2::Close).u32(0));
    const auto bytes = reinterpret_cast<const std::uint8_t*>(data.data());
    {
        FilePointer file = fileOn(3, scripted.get());
        EXPECT_EQ(file->Write(bytes, 1024, nullptr), 100u);
        EXPECT_EQ(file->position(), 100u);
    }
    FilePointer file = fileOn(3, scripted.get());
    const CEFSException e = caught([&] { file->Write(bytes, 1024, nullptr); });
    EXPECT_EQ(e.GetCode(), EFSERR_BAD_RESPONSE);
    EXPECT_EQ(e.GetMessage(), "EFS2_DIAG_WRITE");
    EXPECT_EQ(file->position(), 0u);
}

TEST_F(FileTest, SeekSendsAZeroByteReadOnlyWhenThePositionMoves)
{
    addFile(u"/f", patterned(1000));
    FilePointer file = open(u"/f");
    port->requests.clear();
    EXPECT_EQ(file->Seek(0, Efs::SeekSet), 0u); // where it is: nothing sent
    EXPECT_EQ(file->Seek(7, 9), 0u);            // an unknown origin stays put
    EXPECT_TRUE(port->requests.empty());

    EXPECT_EQ(file->Seek(10, Efs::SeekSet), 10u);
    EXPECT_EQ(file->Seek(0xFFFFFFFB, Efs::SeekCurrent), 5u); // back 5: the arithmetic wraps
    EXPECT_EQ(file->Seek(0xFFFFFFFF, Efs::SeekEnd), 999u);   // FSTAT for the size first
    EXPECT_EQ(port->commands(),
              (std::vector<std::uint16_t>{Efs2::Read, Efs2::Read, Efs2::FStat, Efs2::Read}));
    EXPECT_EQ(readCounts(), (Counts{0, 0, 0}));
    EXPECT_EQ(fieldOf(Efs2::Read, 12), (Counts{10, 5, 999}));
    EXPECT_EQ(file->Size(), 1000u);
}

TEST_F(FileTest, CloseOnLastReleaseNotAfterDetach)
{
    addFile(u"/f", patterned(10));
    FilePointer file = open(u"/f");
    FilePointer second = file;
    file = FilePointer();
    EXPECT_EQ(handset->openDescriptors(), 1u); // still referenced
    second = FilePointer();
    EXPECT_EQ(port->commands().back(), Efs2::Close);

    file = open(u"/f");
    const std::int32_t fd = file->Detach();
    file = FilePointer();
    EXPECT_NE(port->commands().back(), Efs2::Close);
    CEFSClose(port.get(), kTimeout, kSubsys).Execute(fd);

    // A close that fails is not reported.
    file = open(u"/f");
    handset->queueFault(Emulator::Fault::portFailure(E_FAIL).on(Efs2::Close));
    EXPECT_NO_THROW(file = FilePointer());
    EXPECT_EQ(handset->openDescriptors(), 1u);
    CEFSClose(port.get(), kTimeout, kSubsys).Execute(lastFd);
}

TEST_F(FileTest, OperationsThatNeedAnOpenOrAClosedDescriptor)
{
    addFile(u"/f", patterned(10));
    FilePointer file = open(u"/f");
    Bytes buffer(8);
    std::uint32_t value = 0;
    const CEFSException reopen = caught([&] { file->Open(u"/f", 0, 0); });
    EXPECT_EQ(reopen.GetCode(), EFSERR_ALREADY_OPEN);
    EXPECT_EQ(reopen.GetLine(), 105u);
    EXPECT_EQ(caught([&] { file->Attach(5); }).GetLine(), 338u);
    const std::int32_t fd = file->Detach();

    const struct {
        const char* name;
        std::function<void()> action;
        std::uint32_t code;
        std::uint32_t line;
    } cases[] = {
        {"Read", [&] { file->Read(buffer.data(), 8); }, EFSERR_READ_NOT_OPEN, 197},
        {"Write", [&] { file->Write(buffer.data(), 8, nullptr); }, EFSERR_WRITE_NOT_OPEN, 244},
        {"Stat", [&] { file->Stat(&value, &value, &value, &value, &value, &value); },
         EFSERR_STAT_NOT_OPEN, 273},
        {"Seek", [&] { file->Seek(1, Efs::SeekSet); }, EFSERR_READ_NOT_OPEN, 314},
        {"Detach", [&] { file->Detach(); }, EFSERR_DETACH_NOT_OPEN, 356},
    };
    port->requests.clear();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CEFSException e = caught(c.action);
        EXPECT_EQ(e.GetCode(), c.code);
        EXPECT_EQ(e.GetLine(), c.line);
        EXPECT_EQ(e.GetFile(), "EFSFile");
    }
    EXPECT_TRUE(port->requests.empty());

    // Attach takes a descriptor back; Open parses a handset path first.
    file->Attach(fd);
    EXPECT_EQ(file->Read(buffer.data(), 8), 8u);
    file->Detach();
    CEFSClose(port.get(), kTimeout, kSubsys).Execute(fd);
    file->Open(u" '/./f' ", 0, 0);
    EXPECT_EQ(port->requests.back(), Packet(Efs2::Open).u32(0).u32(0).text("/f").bytes);
}

namespace {

using Emulator::Fault;

// A fault that lets its request through untouched: it only spends its turn.
const Fault passes = Fault::latency(0);

} // namespace

// Only an answer for another offset is asked for again, at most twice per
// packet, and a failure keeps the packets already read in the position.
TEST_F(FileTest, ReadAsksAgainOnlyForAnotherOffsetAndCountsPerPacket)
{
    const struct {
        const char* name;
        std::vector<Fault> faults; // on the READs, in order
        std::uint32_t code;        // 0: the read succeeds
        Counts offsets;            // of the READs sent
        std::uint32_t position;
    } cases[] = {
        {"stale twice", {Fault::staleOffset(), Fault::staleOffset()}, 0, {0, 0, 0, 512}, 1024},
        {"stale twice in each packet",
         {Fault::staleOffset(), Fault::staleOffset(), passes, Fault::staleOffset(),
          Fault::staleOffset()},
         0,
         {0, 0, 0, 512, 512, 512},
         1024},
        {"stale three times",
         {passes, Fault::staleOffset(), Fault::staleOffset(), Fault::staleOffset()},
         EFSERR_READ_OFFSET,
         {0, 512, 512, 512},
         512},
        {"device error", {passes, Fault::errorResponse(5)}, 5 + 1, {0, 512}, 512},
        {"foreign descriptor", {Fault::foreignDescriptor()}, EFSERR_WRONG_HANDLE, {0}, 0},
        {"truncated answer", {Fault::truncatedResponse(10)}, EFSERR_BAD_RESPONSE, {0}, 0},
        {"port failure", {Fault::portFailure(E_FAIL)}, EFSERR_PORT_COM, {0}, 0},
    };
    const Bytes content = patterned(2000);
    addFile(u"/f", content);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FilePointer file = open(u"/f");
        port->requests.clear();
        for (const Fault& fault : c.faults) {
            handset->queueFault(fault.on(Efs2::Read));
        }
        Platform::SleepRecorder pauses;
        Bytes buffer(1024);
        if (c.code == 0) {
            EXPECT_EQ(file->Read(buffer.data(), 1024), 1024u);
            EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), content.begin()));
        } else {
            EXPECT_EQ(caught([&] { file->Read(buffer.data(), 1024); }).GetCode(), c.code);
        }
        const auto retries = static_cast<std::size_t>(
            std::count_if(c.faults.begin(), c.faults.end(),
                          [](const Fault& f) { return f.kind == Fault::Kind::StaleOffset; }));
        EXPECT_EQ(fieldOf(Efs2::Read, 12), c.offsets);
        EXPECT_EQ(pauses.pauses().size(), c.code == EFSERR_READ_OFFSET ? retries - 1 : retries);
        EXPECT_EQ(file->position(), c.position);
        EXPECT_EQ(handset->pendingFaults(), 0u);
    }
}

TEST_F(FileTest, WriteIsNeverAskedAgain)
{
    const struct {
        const char* name;
        std::vector<Fault> faults; // on the WRITEs, in order
        std::uint32_t code;
        std::size_t writes;
        std::uint32_t position;
    } cases[] = {
        {"stale offset", {Fault::staleOffset()}, EFSERR_WRITE_OFFSET, 1, 0},
        {"stale offset in the second packet", {passes, Fault::staleOffset()}, EFSERR_WRITE_OFFSET,
         2, 512},
        {"device error", {Fault::errorResponse(28)}, 28 + 1, 1, 0},
        {"port failure", {Fault::portFailure(E_FAIL)}, EFSERR_PORT_COM, 1, 0},
    };
    const Bytes data = patterned(1024);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        addFile(u"/f", {});
        FilePointer file = open(u"/f", Efs2::kOpenCreateForWriting);
        port->requests.clear();
        for (const Fault& fault : c.faults) {
            handset->queueFault(fault.on(Efs2::Write));
        }
        Platform::SleepRecorder pauses;
        EXPECT_EQ(caught([&] { file->Write(data.data(), 1024, nullptr); }).GetCode(), c.code);
        EXPECT_EQ(fieldOf(Efs2::Write, 8).size(), c.writes);
        EXPECT_TRUE(pauses.pauses().empty());
        EXPECT_EQ(file->position(), c.position);
    }
}

namespace {

// A port whose log fails by throwing a C++ exception from one of the calls
// that reach it; it passes requests on to the emulated handset.
class ThrowingLogPort final
    : public ComServer::ComObject<ThrowingLogPort, IDiagPort, IServerPort, ILogSink> {
public:
    enum class Thrower { QueryInterface, GetLog, LogMessage };

    ThrowingLogPort(IDiagPort* inner, Thrower thrower)
        : inner_(inner)
        , thrower_(thrower)
    {}

    static std::span<const ComServer::InterfaceEntry<ThrowingLogPort>> interfaceTable()
    {
        static constexpr ComServer::InterfaceEntry<ThrowingLogPort> table[] = {
            ComServer::interfaceEntry<ThrowingLogPort, IDiagPort>(IID_IDiagPort),
            ComServer::interfaceEntry<ThrowingLogPort, IServerPort>(IID_IServerPort),
            ComServer::interfaceEntry<ThrowingLogPort, ILogSink>(IID_ILogSink),
        };
        return table;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (thrower_ == Thrower::QueryInterface && IsEqualIID(iid, IID_IServerPort)) {
            throw std::runtime_error("QueryInterface");
        }
        return ComObject::QueryInterface(iid, object);
    }
    VORNAK_RESERVED_SLOTS_1_TO_20
    HRESULT STDMETHODCALLTYPE SendRequest(ULONG length, const BYTE* request, ULONG constant1,
                                          ULONG constant0, ULONG timeout, USHORT* responseLength,
                                          BYTE* response) override
    {
        return inner_->SendRequest(length, request, constant1, constant0, timeout, responseLength,
                                   response);
    }
    HRESULT STDMETHODCALLTYPE GetService(ULONG, ULONG, IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLog(IUnknown** log) override
    {
        if (thrower_ == Thrower::GetLog) {
            throw std::runtime_error("GetLog");
        }
        return QueryInterface(IID_IUnknown, reinterpret_cast<void**>(log));
    }
    HRESULT STDMETHODCALLTYPE LogMessage(BSTR) override { throw std::runtime_error("LogMessage"); }

private:
    Platform::ComPtr<IDiagPort> inner_;
    Thrower thrower_;
};

} // namespace

// Whatever the log does, the read is asked for again: the line in the log is
// a courtesy, and a port's exception must not end the process.
TEST_F(FileTest, ALogThatThrowsDoesNotStopTheRetry)
{
    using Thrower = ThrowingLogPort::Thrower;
    addFile(u"/f", patterned(100));
    for (const Thrower thrower : {Thrower::QueryInterface, Thrower::GetLog, Thrower::LogMessage}) {
        SCOPED_TRACE(static_cast<int>(thrower));
        auto throwing = ThrowingLogPort::make(port.get(), thrower);
        const std::int32_t fd =
            Diag::Efs::Open(port.get(), kTimeout, kSubsys).Execute(u"/f", Efs2::kOpenReadOnly, 0);
        FilePointer file = fileOn(fd, static_cast<IDiagPort*>(throwing.get()));
        handset->queueFault(Fault::staleOffset().on(Efs2::Read));
        Platform::SleepRecorder pauses;
        Bytes buffer(100);
        EXPECT_EQ(file->Read(buffer.data(), 100), 100u);
        EXPECT_EQ(pauses.pauses().size(), 1u);
    }
}
