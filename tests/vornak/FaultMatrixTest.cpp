// Every file and directory operation of the module against every fault a
// handset or its port can show, at the request that does the operation's
// work: the exact HRESULT and error information, what is left open on the
// handset, and a module free to unload once the client has let go.
#include "StorageTest.h"

#include <array>

using Emulator::Fault;
using Platform::ComPtr;
using StorageTest::Bytes;
using StorageTest::Command;
using StorageTest::pattern;

namespace {

// The faults in the table's order, and a shorter name for a cell that succeeds.
enum FaultIndex { PortFails, DeviceError, Truncated, WrongHeader, StaleOffset, Foreign, Silent };
const Fault kFaults[] = {
    Fault::portFailure(E_FAIL), Fault::errorResponse(5), Fault::truncatedResponse(6),
    Fault::wrongHeader(),       Fault::staleOffset(),    Fault::foreignDescriptor(),
    Fault::noAnswer(),
};
constexpr DWORD ok = 0xFFFFFFFF;
using HelpContexts = std::array<DWORD, std::size(kFaults)>;

// The help context of each fault: the port's failure and its silence are
// code 533, EIO (5) is code 6, a short response 514, another command's header
// 525. A stale offset spoils only a READ or WRITE, and a foreign descriptor
// only the responses that carry one.
constexpr HelpContexts kWithDescriptor = {533, 6, 514, 525, ok, 515, 533};
constexpr HelpContexts kWithoutDescriptor = {533, 6, 514, 525, ok, ok, 533};
// A READ for Read and CopyTo is asked again after a stale offset; neither a
// WRITE (528) nor the READ of nothing by which Seek lets the handset refuse
// the offset (539) is.
constexpr HelpContexts kWriting = {533, 6, 514, 525, 528, 515, 533};
constexpr HelpContexts kSeeking = {533, 6, 514, 525, 539, 515, 533};
constexpr HelpContexts kNothingSent = {ok, ok, ok, ok, ok, ok, ok};
constexpr HelpContexts kNotImplemented = {0, 0, 0, 0, 0, 0, 0};

constexpr unsigned bit(FaultIndex fault)
{
    return 1u << fault;
}

// What an operation works on, made before the fault is queued: the folder
// /d, its file f opened for reading, its file w created for writing, and its
// listing.
struct Objects {
    ComPtr<IStorage> folder;
    ComPtr<IStream> reading;
    ComPtr<IStream> writing;
    ComPtr<IEnumSTATSTG> listing;
    StorageTest::HostFolder host;
};

class FaultMatrix : public StorageTest::HandsetTest {};

TEST_F(FaultMatrix, EveryOperationByEveryFault)
{
    const Bytes file = pattern(2000);
    const auto readsFile = [&](IStream& stream) {
        Bytes buffer(1000);
        ULONG got = 0;
        const HRESULT hr = stream.Read(buffer.data(), 1000, &got);
        if (hr == S_OK) {
            EXPECT_EQ(got, 1000u);
            EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), file.begin()));
        }
        return hr;
    };
    const auto efsFolder = [](IUnknown* storage) {
        return ComTest::query<ITavoEFSFolder>(storage, IID_ITavoEFSFolder);
    };
    const struct {
        const char* name;
        std::uint16_t command; // the request the fault waits for; 0: any, and none comes
        std::function<HRESULT(Objects&)> call;
        const wchar_t* description;
        HelpContexts helpContexts;
        HRESULT failure = VORNAK_E_HANDSET;
        bool stream = false; // the stream's error information, else the folder's
        // Faults after which the handset keeps what it opened: it carried the
        // request out, and its answer was lost or named another descriptor.
        unsigned leftOpen = 0;
    } rows[] = {
        {"EnumElements", Command::ReadDir,
         [](Objects& o) {
             ComPtr<IEnumSTATSTG> listing;
             return o.folder->EnumElements(0, nullptr, 0, listing.put());
         },
         L"EFS2_DIAG_READDIR", kWithDescriptor},
        {"RecursiveDirList", Command::ReadDir,
         [&](Objects& o) {
             ComPtr<IUnknown> listing;
             return efsFolder(o.folder.get())->RecursiveDirList(listing.put());
         },
         L"EFS2_DIAG_READDIR", kWithDescriptor},
        {"OpenStream", Command::Open,
         [](Objects& o) {
             ComPtr<IStream> stream;
             return o.folder->OpenStream(L"f", nullptr, 0, 0, stream.put());
         },
         L"EFS2_DIAG_OPEN /d/f", kWithoutDescriptor, VORNAK_E_HANDSET, false,
         bit(Truncated) | bit(WrongHeader) | bit(Foreign)},
        {"CreateStream", Command::Open,
         [](Objects& o) {
             ComPtr<IStream> stream;
             return o.folder->CreateStream(L"n", 0, 0, 0, stream.put());
         },
         L"EFS2_DIAG_OPEN /d/n", kWithoutDescriptor, VORNAK_E_HANDSET, false,
         bit(Truncated) | bit(WrongHeader) | bit(Foreign)},
        {"CreateStorage", Command::MkDir,
         [](Objects& o) {
             ComPtr<IStorage> made;
             return o.folder->CreateStorage(L"n", 0, 0, 0, made.put());
         },
         L"EFS2_DIAG_MKDIR", kWithoutDescriptor},
        {"OpenStorage", Command::LStat,
         [](Objects& o) {
             ComPtr<IStorage> opened;
             return o.folder->OpenStorage(L"e", nullptr, 0, nullptr, 0, opened.put());
         },
         L"EFS2_DIAG_LSTAT", kWithoutDescriptor},
        {"DestroyElement", Command::Unlink,
         [](Objects& o) { return o.folder->DestroyElement(L"g"); }, L"EFS2_DIAG_UNLINK",
         kWithoutDescriptor},
        {"RenameElement", Command::Rename,
         [](Objects& o) { return o.folder->RenameElement(L"g", L"h"); }, L"EFS2_DIAG_RENAME",
         kWithoutDescriptor},
        {"MoveElementTo, move", Command::Rename,
         [&](Objects& o) {
             ComPtr<IStorage> e;
             EXPECT_EQ(o.folder->OpenStorage(L"e", nullptr, 0, nullptr, 0, e.put()), S_OK);
             return o.folder->MoveElementTo(L"g", e.get(), L"h", STGMOVE_MOVE);
         },
         L"EFS2_DIAG_RENAME", kWithoutDescriptor},
        {"MoveElementTo, copy", Command::Read,
         [](Objects& o) {
             const auto host = ComTest::create<IStorage>(CLSID_TavoWinFolder, IID_IStorage);
             return o.folder->MoveElementTo(L"f", host.get(), o.host.file(L"f").c_str(),
                                            STGMOVE_COPY);
         },
         L"EFS2_DIAG_READ", kWithDescriptor, VORNAK_E_HANDSET, true},
        {"IStorage::Stat", 0,
         [](Objects& o) {
             STATSTG stat = {};
             return o.folder->Stat(&stat, STATFLAG_NONAME);
         },
         L"", kNothingSent},
        {"Read", Command::Read, [&](Objects& o) { return readsFile(*o.reading.get()); },
         L"EFS2_DIAG_READ", kWithDescriptor, VORNAK_E_HANDSET, true},
        {"Write", Command::Write,
         [&](Objects& o) { return o.writing->Write(file.data(), 1000, nullptr); },
         L"EFS2_DIAG_WRITE", kWriting, VORNAK_E_HANDSET, true},
        {"Seek", Command::Read,
         [](Objects& o) {
             LARGE_INTEGER move;
             move.QuadPart = 100;
             return o.reading->Seek(move, STREAM_SEEK_SET, nullptr);
         },
         L"EFS2_DIAG_READ", kSeeking, VORNAK_E_HANDSET, true},
        {"SetSize", 0, [](Objects& o) { return o.writing->SetSize(ULARGE_INTEGER{}); },
         L"IStream::SetSize", kNotImplemented, E_NOTIMPL, true},
        {"CopyTo", Command::Read,
         [&](Objects& o) {
             ComPtr<IStream> to;
             EXPECT_EQ(o.folder->CreateStream(L"copy", 0, 0, 0, to.put()), S_OK);
             ULARGE_INTEGER size;
             size.QuadPart = file.size();
             return o.reading->CopyTo(to.get(), size, nullptr, nullptr);
         },
         L"EFS2_DIAG_READ", kWithDescriptor, VORNAK_E_HANDSET, true},
        {"IStream::Stat", Command::FStat,
         [](Objects& o) {
             STATSTG stat = {};
             return o.reading->Stat(&stat, STATFLAG_NONAME);
         },
         L"EFS2_DIAG_FSTAT", kWithoutDescriptor, VORNAK_E_HANDSET, true},
        {"Commit", 0, [](Objects& o) { return o.writing->Commit(STGC_DEFAULT); },
         L"IStream::Commit", kNotImplemented, E_NOTIMPL, true},
        {"Next", 0,
         [](Objects& o) {
             STATSTG record = {};
             const HRESULT hr = o.listing->Next(1, &record, nullptr);
             CoTaskMemFree(record.pwcsName);
             return hr;
         },
         L"", kNothingSent},
        {"Skip", 0, [](Objects& o) { return o.listing->Skip(1); }, L"", kNothingSent},
    };
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < std::size(kFaults); ++i) {
            SCOPED_TRACE(::testing::Message() << row.name << ", fault " << i);
            handset_ = std::make_shared<Emulator::Handset>();
            port_ =
                TestSupport::RecordingPort::create(Emulator::EmulatedPort::create(handset_).get());
            addFile(u"/d/f", file);
            addFile(u"/d/g", pattern(10));
            addDirectory(u"/d/e");
            {
                Objects objects;
                objects.folder = folder(u"/d", 20);
                ASSERT_EQ(objects.folder->OpenStream(L"f", nullptr, 0, 0, objects.reading.put()),
                          S_OK);
                ASSERT_EQ(objects.folder->CreateStream(L"w", 0, 0, 0, objects.writing.put()), S_OK);
                ASSERT_EQ(objects.folder->EnumElements(0, nullptr, 0, objects.listing.put()), S_OK);
                handset_->queueFault(row.command != 0 ? kFaults[i].on(row.command) : kFaults[i]);

                const HRESULT hr = row.call(objects);
                const DWORD helpContext = row.helpContexts[i];
                if (helpContext == ok) {
                    EXPECT_EQ(hr, S_OK);
                } else {
                    EXPECT_EQ(hr, row.failure);
                    StorageTest::expectError(row.stream ? CLSID_TavoEFSFile : CLSID_TavoEFSFolder,
                                             row.stream ? IID_ITavoEFSFile : IID_IStorage,
                                             row.description, helpContext);
                }
                // A fault for a call that sends nothing is still waiting: it
                // must not meet the closing of what the call leaves.
                EXPECT_EQ(handset_->pendingFaults(), row.command != 0 ? 0u : 1u);
                handset_->clearFaults();
            }
            const std::size_t leftOpen =
                (row.leftOpen & bit(static_cast<FaultIndex>(i))) != 0 ? 1 : 0;
            EXPECT_EQ(handset_->openDescriptors(), leftOpen);
            EXPECT_EQ(handset_->openDirectories(), 0u);
            EXPECT_EQ(ComTest::canUnloadNow(), S_OK) << "an object of the module is still alive";
            ComTest::clearErrorInfo();
        }
    }
}

} // namespace
