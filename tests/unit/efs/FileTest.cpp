#include "EfsTest.h"

#include "diag/CEFSException.h"
#include "diag/EFSClose.h"
#include "diag/EFSOpen.h"
#include "efs/File.h"
#include "mem/RefCount.h"
#include "platform/Thread.h"
#include "support/ScriptedPort.h"

#include <gmock/gmock.h>

using EfsTest::Bytes;
using EfsTest::patterned;
using ::testing::ElementsAre;

namespace {

using FilePointer = Rc::Pointer<Efs::FileBase>;

class FileTest : public EfsTest::HandsetFixture {
protected:
    // The handset file at `path`, open with `flags`, as a device file.
    FilePointer open(const char16_t* path, std::uint32_t flags = Diag::Efs2::kOpenReadOnly)
    {
        lastFd = Diag::Efs::Open(port.get(), kTimeout, kSubsys).Execute(path, flags, 0666);
        return Rc::makeHeap<Efs::File, Efs::FileBase>(lastFd, port.get(), kTimeout, kSubsys);
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

CEFSException caught(const std::function<void()>& action)
{
    try {
        action();
    } catch (const CEFSException& e) {
        return e;
    }
    ADD_FAILURE() << "no CEFSException";
    return CEFSException("", 0, 0, nullptr);
}

} // namespace

TEST_F(FileTest, ReadsStopAtAShortPacketOrWhenNothingRemains)
{
    struct Case {
        std::size_t fileSize;
        std::uint32_t requested;
        std::vector<std::uint32_t> packets;
        std::uint32_t returned;
    };
    const Case cases[] = {
        {1000, 1300, {512, 512}, 1000},    // the second packet is short: end of file
        {2048, 1024, {512, 512}, 1024},    // nothing remains after two packets
        {2048, 1025, {512, 512, 1}, 1025}, // a third packet for the last byte
        {100, 0, {0}, 0},                  // even 0 bytes is one request
        {512, 512, {512}, 512},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.requested);
        const Bytes content = patterned(c.fileSize);
        addFile(u"/f", content);
        port->clear();
        {
            FilePointer file = open(u"/f");
            Bytes buffer(c.requested + 1, 0xEE);
            EXPECT_EQ(file->Read(buffer.data(), c.requested), c.returned);
            EXPECT_EQ(file->position(), c.returned);
            EXPECT_TRUE(std::equal(content.begin(), content.begin() + c.returned, buffer.begin()));
            EXPECT_EQ(buffer[c.returned], 0xEE); // nothing beyond what was read
        }
        EXPECT_EQ(readCounts(), c.packets);
        EXPECT_THAT(fieldOf(Diag::Efs2::Read, 12).front(), 0u);
    }
}

TEST_F(FileTest, AnswerForAnotherOffsetIsAskedAgainTwiceWithLogAndPause)
{
    addFile(u"/f", patterned(600));
    FilePointer file = open(u"/f");
    Bytes buffer(600);
    ASSERT_EQ(file->Read(buffer.data(), 512), 512u);
    port->clear();

    Platform::SleepRecorder pauses;
    handset->queueFault(Emulator::Fault::staleOffset().on(Diag::Efs2::Read));
    handset->queueFault(Emulator::Fault::staleOffset().on(Diag::Efs2::Read));
    EXPECT_EQ(file->Read(buffer.data(), 88), 88u);
    EXPECT_EQ(fieldOf(Diag::Efs2::Read, 12), (std::vector<std::uint32_t>{512, 512, 512}));
    EXPECT_EQ(pauses.pauses(), (std::vector<std::uint32_t>{kTimeout, kTimeout}));
    EXPECT_THAT(log->lines(),
                ElementsAre(Efs::File::kOffsetMismatchLogLine, Efs::File::kOffsetMismatchLogLine));
    EXPECT_EQ(file->position(), 600u);

    // A third answer for another offset gives up, with the position unmoved.
    ASSERT_EQ(file->Seek(512, Efs::SeekSet), 512u);
    for (int i = 0; i < 3; ++i) {
        handset->queueFault(Emulator::Fault::staleOffset().on(Diag::Efs2::Read));
    }
    const CEFSException e = caught([&] { file->Read(buffer.data(), 88); });
    EXPECT_EQ(e.GetCode(), EFSERR_READ_OFFSET);
    EXPECT_EQ(e.GetMessage(), "EFS2_DIAG_READ");
    EXPECT_EQ(file->position(), 512u);
    EXPECT_EQ(pauses.pauses().size(), 4u);
}

TEST_F(FileTest, RetryWorksWithoutALogToo)
{
    // A port that offers neither IServerPort nor ILogSink gets no log line,
    // and the read is still asked again.
    addFile(u"/f", patterned(100));
    const std::int32_t fd = Diag::Efs::Open(device.get(), kTimeout, kSubsys).Execute(u"/f", 0, 0);
    struct NoLog : IDiagPort {
        IDiagPort* inner;
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
        {
            if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDiagPort)) {
                *out = this;
                return S_OK;
            }
            *out = nullptr;
            return E_NOINTERFACE;
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
        ULONG STDMETHODCALLTYPE Release() override { return 1; }
        HRESULT STDMETHODCALLTYPE Reserved1() override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE Reserved2() override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE SendRequest(ULONG a, const BYTE* b, ULONG c, ULONG d, ULONG e,
                                              USHORT* f, BYTE* g) override
        {
            return inner->SendRequest(a, b, c, d, e, f, g);
        }
    } noLog;
    noLog.inner = device.get();
    {
        Platform::SleepRecorder pauses;
        FilePointer file = Rc::makeHeap<Efs::File, Efs::FileBase>(fd, &noLog, kTimeout, kSubsys);
        handset->queueFault(Emulator::Fault::staleOffset().on(Diag::Efs2::Read));
        Bytes buffer(100);
        EXPECT_EQ(file->Read(buffer.data(), 100), 100u);
        EXPECT_EQ(pauses.pauses().size(), 1u);
    }
    EXPECT_TRUE(log->lines().empty());
}

TEST_F(FileTest, WritesGoOutInPacketsWithProgressAfterEach)
{
    addFile(u"/f", {});
    const Bytes data = patterned(1110);
    ProgressLog progress;
    {
        FilePointer file = open(u"/f", Diag::Efs2::kOpenCreateForWriting);
        EXPECT_EQ(file->Write(data.data(), 1100, &progress), 1100u);
        EXPECT_EQ(file->Write(data.data() + 1100, 10, &progress), 10u);
        EXPECT_EQ(file->Write(data.data(), 0, &progress), 0u); // one empty packet, one report
        EXPECT_EQ(file->position(), 1110u);
    }
    EXPECT_EQ(writeLengths(), (std::vector<std::uint32_t>{512, 512, 76, 10, 0}));
    EXPECT_EQ(fieldOf(Diag::Efs2::Write, 8),
              (std::vector<std::uint32_t>{0, 512, 1024, 1100, 1110}));
    const std::uint32_t me = Platform::currentThreadId();
    EXPECT_EQ(progress.calls,
              (std::vector<ProgressLog::Call>{
                  {512, 0, me}, {1024, 0, me}, {1100, 0, me}, {1110, 0, me}, {1110, 0, me}}));
    Bytes stored;
    EXPECT_EQ(handset->readFile(u"/f", stored), 0u);
    EXPECT_EQ(stored, data);
}

TEST_F(FileTest, WriteAnswersThatClaimTooMuchOrTooLittle)
{
    using TestSupport::Packet;
    auto scripted = TestSupport::ScriptedPort::create();
    const Bytes data = patterned(1024);
    auto writeRequest = [&](std::uint32_t offset, std::size_t count) {
        Packet request;
        request.header(Diag::Efs2::Write).u32(3).u32(offset);
        for (std::size_t i = 0; i < count; ++i) {
            request.u8(data[offset + i]);
        }
        return request.bytes();
    };
    auto writeResponse = [](std::uint32_t offset, std::uint32_t written) {
        return Packet().header(Diag::Efs2::Write).u32(3).u32(offset).u32(written).u32(0).bytes();
    };
    const Bytes close = Packet().header(Diag::Efs2::Close).u32(3).bytes();
    const Bytes closed = Packet().header(Diag::Efs2::Close).u32(0).bytes();

    // The handset took less than a whole packet: the write stops there.
    scripted->expect(writeRequest(0, 512), writeResponse(0, 100)).expect(close, closed);
    {
        FilePointer file =
            Rc::makeHeap<Efs::File, Efs::FileBase>(3, scripted.get(), kTimeout, kSubsys);
        EXPECT_EQ(file->Write(data.data(), 1024, nullptr), 100u);
        EXPECT_EQ(file->position(), 100u);
    }
    // It claims more than the packet held: malformed, and the position stays.
    scripted->expect(writeRequest(0, 512), writeResponse(0, 513)).expect(close, closed);
    {
        FilePointer file =
            Rc::makeHeap<Efs::File, Efs::FileBase>(3, scripted.get(), kTimeout, kSubsys);
        const CEFSException e = caught([&] { file->Write(data.data(), 1024, nullptr); });
        EXPECT_EQ(e.GetCode(), EFSERR_BAD_RESPONSE);
        EXPECT_EQ(e.GetMessage(), "EFS2_DIAG_WRITE");
        EXPECT_EQ(e.GetFile(), "EFSFile");
        EXPECT_EQ(file->position(), 0u);
    }
    EXPECT_EQ(scripted->pending(), 0u);
}

TEST_F(FileTest, SeekSendsAZeroByteReadOnlyWhenThePositionMoves)
{
    addFile(u"/f", patterned(1000));
    FilePointer file = open(u"/f");
    port->clear();
    EXPECT_EQ(file->Seek(0, Efs::SeekSet), 0u); // where it is: nothing sent
    EXPECT_EQ(file->Seek(7, 9), 0u);            // an unknown origin stays put
    EXPECT_TRUE(port->requests().empty());

    EXPECT_EQ(file->Seek(10, Efs::SeekSet), 10u);
    EXPECT_EQ(file->Seek(0xFFFFFFFB, Efs::SeekCurrent), 5u); // back 5: the arithmetic wraps
    EXPECT_EQ(file->Seek(0xFFFFFFFF, Efs::SeekEnd), 999u);   // FSTAT for the size first
    EXPECT_EQ(port->commands(), (std::vector<std::uint16_t>{Diag::Efs2::Read, Diag::Efs2::Read,
                                                            Diag::Efs2::FStat, Diag::Efs2::Read}));
    EXPECT_EQ(readCounts(), (std::vector<std::uint32_t>{0, 0, 0}));
    EXPECT_EQ(fieldOf(Diag::Efs2::Read, 12), (std::vector<std::uint32_t>{10, 5, 999}));
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
    EXPECT_EQ(port->commands().back(), Diag::Efs2::Close);

    file = open(u"/f");
    const std::int32_t fd = file->Detach();
    file = FilePointer();
    EXPECT_NE(port->commands().back(), Diag::Efs2::Close);
    EXPECT_EQ(handset->openDescriptors(), 1u);
    CEFSClose(port.get(), kTimeout, kSubsys).Execute(fd);

    // A close that fails is not reported.
    file = open(u"/f");
    handset->queueFault(Emulator::Fault::portFailure(E_FAIL).on(Diag::Efs2::Close));
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

    struct Case {
        const char* name;
        std::function<void()> action;
        std::uint32_t code;
        std::uint32_t line;
    };
    const Case cases[] = {
        {"Read", [&] { file->Read(buffer.data(), 8); }, EFSERR_READ_NOT_OPEN, 197},
        {"Write", [&] { file->Write(buffer.data(), 8, nullptr); }, EFSERR_WRITE_NOT_OPEN, 244},
        {"Stat", [&] { file->Stat(&value, &value, &value, &value, &value, &value); },
         EFSERR_STAT_NOT_OPEN, 273},
        {"Seek", [&] { file->Seek(1, Efs::SeekSet); }, EFSERR_READ_NOT_OPEN, 314},
        {"Detach", [&] { file->Detach(); }, EFSERR_DETACH_NOT_OPEN, 356},
    };
    port->clear();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CEFSException e = caught(c.action);
        EXPECT_EQ(e.GetCode(), c.code);
        EXPECT_EQ(e.GetLine(), c.line);
        EXPECT_EQ(e.GetFile(), "EFSFile");
        EXPECT_EQ(e.GetMessage(), "");
    }
    EXPECT_TRUE(port->requests().empty());

    // Attach takes a descriptor back; Open opens one of its own.
    file->Attach(fd);
    EXPECT_EQ(file->Read(buffer.data(), 8), 8u);
    file->Detach();
    CEFSClose(port.get(), kTimeout, kSubsys).Execute(fd);
    file->Open(u" '/./f' ", 0, 0);                        // parsed as a handset path first
    EXPECT_EQ(port->requests().back().bytes.size(), 15u); // header, flags, mode, "/f", NUL
    EXPECT_EQ(file->Size(), 10u);
}

TEST_F(FileTest, NullFilePointerNamesItsType)
{
    const FilePointer none;
    try {
        none->Size();
        FAIL() << "no exception";
    } catch (const Lang::NullPointerException& e) {
        EXPECT_STREQ(e.what(), "NULL class Efs::FileBase pointer");
        EXPECT_STREQ(e.location(),
                     "Mem/RefCount(725) : Rc::Pointer<class Efs::FileBase>::operator ->");
    }
}
