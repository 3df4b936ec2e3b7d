// The port server in a process of its own, as the device files meet it: COM
// starts VornakPortServer.exe, every object comes back as a proxy, and the
// handset, its faults and the port's log live in the server's process, where
// the test reaches them through IPortServerControl.
#include "diag/CEFSException.h"
#include "diag/EFSOpen.h"
#include "diag/Efs2.h"
#include "diag/PortInterfaces.h"
#include "efs/File.h"
#include "efs/ItemFile.h"
#include "platform/Bstr.h"
#include "platform/ComPtr.h"
#include "platform/LocalServer.h"

#include <PortServerControl.h>
#include <gtest/gtest.h>
#include <vornak/Vornak.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Platform::ComPtr;

// How long a server process may take to end after the last release.
constexpr DWORD kExitLimit = 30 * 1000;
constexpr std::uint32_t kTimeout = 1;

template <class T>
ComPtr<T> query(IUnknown* object, REFIID iid)
{
    ComPtr<T> result;
    EXPECT_EQ(Platform::queryInterfaceNoThrow(object, iid, result), S_OK) << "QueryInterface";
    return result;
}

// Every byte value, NUL included, so that nothing treats the bytes as text.
std::vector<std::uint8_t> bytePattern(std::size_t size, unsigned start)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(start + i * 7);
    }
    return bytes;
}

Rc::Pointer<Efs::FileBase> itemFile(IUnknown* port, const char16_t* path, std::uint8_t subsystem)
{
    return Rc::makeHeap<Efs::ItemFile, Efs::FileBase>(port, Efs::ItemFile::DevicePath(path),
                                                      kTimeout, subsystem);
}

// The tests run in the multithreaded apartment, as Vornak's clients may.
class ComApartment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK); }
    void TearDown() override { CoUninitialize(); }
};
[[maybe_unused]] const auto* const apartment =
    ::testing::AddGlobalTestEnvironment(new ComApartment);

class PortServerProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        ComPtr<IUnknown> started;
        ASSERT_EQ(Platform::createLocalServerNoThrow(CLSID_PortServer, started.put()), S_OK);
        server = query<IPortServer>(started.get(), IID_IPortServer);
        control = query<IPortServerControl>(started.get(), IID_IPortServerControl);
        ASSERT_TRUE(server && control);
        ULONG id = 0;
        ASSERT_EQ(control->GetServerProcessId(&id), S_OK);
        serverProcessId = id;
        serverProcess = OpenProcess(SYNCHRONIZE, FALSE, id);
        ASSERT_NE(serverProcess, nullptr);

        ComPtr<IPortDirectory> directory;
        ASSERT_EQ(server->GetPortDirectory(directory.put()), S_OK);
        ASSERT_EQ(directory->GetPort(1, serverPort.put()), S_OK);
        port = query<IDiagPort>(serverPort.get(), IID_IDiagPort);
        ASSERT_TRUE(port);
    }

    // With the last reference gone, the server process ends by itself.
    void TearDown() override
    {
        releaseAll();
        if (serverProcess != nullptr) {
            EXPECT_EQ(WaitForSingleObject(serverProcess, kExitLimit), WAIT_OBJECT_0)
                << "the server process still runs";
            CloseHandle(serverProcess);
        }
    }

    void releaseAll()
    {
        port.reset();
        serverPort.reset();
        control.reset();
        server.reset();
    }

    std::vector<std::u16string> logLines()
    {
        std::vector<std::u16string> lines;
        ULONG count = 0;
        EXPECT_EQ(control->GetLogLineCount(&count), S_OK);
        for (ULONG i = 0; i < count; ++i) {
            Platform::Bstr line;
            EXPECT_EQ(control->GetLogLine(i, line.put()), S_OK);
            lines.push_back(line.text());
        }
        return lines;
    }

    std::vector<std::uint8_t> handsetFile(const char16_t* path)
    {
        std::vector<std::uint8_t> bytes(4096);
        ULONG count = static_cast<ULONG>(bytes.size());
        EXPECT_EQ(control->ReadFile(Platform::Bstr(path).get(), &count, bytes.data()), S_OK);
        bytes.resize(count);
        return bytes;
    }

    void putHandsetFile(const char16_t* path, const std::vector<std::uint8_t>& bytes)
    {
        ASSERT_EQ(control->PutFile(Platform::Bstr(path).get(), static_cast<ULONG>(bytes.size()),
                                   bytes.data()),
                  S_OK);
    }

    ULONG openDescriptors()
    {
        ULONG count = 0;
        EXPECT_EQ(control->GetOpenDescriptors(&count), S_OK);
        return count;
    }

    ComPtr<IPortServer> server;
    ComPtr<IPortServerControl> control;
    ComPtr<IServerPort> serverPort;
    ComPtr<IDiagPort> port;
    DWORD serverProcessId = 0;
    HANDLE serverProcess = nullptr;
};

} // namespace

TEST_F(PortServerProcess, EveryObjectIsAProxyIntoTheServerProcess)
{
    EXPECT_NE(serverProcessId, GetCurrentProcessId());

    ComPtr<IPortDirectory> directory;
    ASSERT_EQ(server->GetPortDirectory(directory.put()), S_OK);
    ComPtr<IUnknown> service;
    ASSERT_EQ(serverPort->GetService(18, 0, service.put()), S_OK);
    ComPtr<IUnknown> log;
    ASSERT_EQ(serverPort->GetLog(log.put()), S_OK);
    // COM's proxy managers answer IMultiQI; the server's own objects do not.
    for (IUnknown* object :
         std::initializer_list<IUnknown*>{server.get(), control.get(), directory.get(),
                                          serverPort.get(), port.get(), service.get(), log.get()}) {
        ComPtr<IMultiQI> multiQI;
        EXPECT_EQ(Platform::queryInterfaceNoThrow(object, IID_IMultiQI, multiQI), S_OK);
    }

    ULONG id = 0;
    EXPECT_EQ(query<IPortIdentity>(port.get(), IID_IPortIdentity)->GetPortId(&id), S_OK);
    EXPECT_EQ(id, 1u);

    // A second activation, as every item file makes one, reaches the same process.
    ComPtr<IUnknown> again;
    ASSERT_EQ(Platform::createLocalServerNoThrow(CLSID_PortServer, again.put()), S_OK);
    ULONG againId = 0;
    EXPECT_EQ(query<IPortServerControl>(again.get(), IID_IPortServerControl)
                  ->GetServerProcessId(&againId),
              S_OK);
    EXPECT_EQ(againId, serverProcessId);
}

TEST_F(PortServerProcess, ItemFilesWriteReadAndStatAcrossTheProcessBoundary)
{
    // The file subsystem's service (selector 18) and the other one (19) serve
    // the same handset.
    const struct {
        std::uint8_t subsystem;
        const char16_t* path;
        std::size_t size;
    } cases[] = {
        {Diag::Efs2::kFileSubsystem, u"/nv/carrier", 700},
        {75, u"/nv/band", 3},
        // Written from a null pointer, which the proxy must let through.
        {Diag::Efs2::kFileSubsystem, u"/nv/empty", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path, c.path + std::char_traits<char16_t>::length(c.path)));
        const auto bytes = bytePattern(c.size, c.subsystem);
        const auto file = itemFile(port.get(), c.path, c.subsystem);
        EXPECT_EQ(file->Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), nullptr),
                  bytes.size());
        EXPECT_EQ(handsetFile(c.path), bytes);

        // Every read delivers the item from its start; a seek changes nothing.
        for (int read = 0; read < 2; ++read) {
            std::vector<std::uint8_t> buffer(1024, 0xEE);
            const std::uint32_t got =
                file->Read(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
            buffer.resize(got);
            EXPECT_EQ(buffer, bytes) << "read " << read;
            file->Seek(100, Efs::SeekSet);
        }

        std::uint32_t mode = 0, size = 0, links = 0, atime = 0, mtime = 0, ctime = 0;
        file->Stat(&mode, &size, &links, &atime, &mtime, &ctime);
        EXPECT_EQ(mode & Diag::Efs2::kModeTypeMask, Diag::Efs2::kModeRegular);
        EXPECT_EQ(size, bytes.size());
    }

    // A small buffer bounds what arrives.
    const auto carrier = itemFile(port.get(), u"/nv/carrier", 19);
    std::uint8_t head[5] = {};
    EXPECT_EQ(carrier->Read(head, sizeof head), 5u);
    EXPECT_EQ(std::vector<std::uint8_t>(head, head + 5), bytePattern(5, 19));

    // The server's failure comes back as its HRESULT.
    const auto missing = itemFile(port.get(), u"/nv/none", 19);
    std::uint8_t buffer[8];
    try {
        missing->Read(buffer, sizeof buffer);
        ADD_FAILURE() << "no error";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), static_cast<HRESULT>(0x80070002u)); // ERROR_FILE_NOT_FOUND
    }
}

TEST_F(PortServerProcess, HandsetIsSeededFromTheRegisteredDirectory)
{
    const auto file = itemFile(port.get(), u"/nv/model", Diag::Efs2::kFileSubsystem);
    std::vector<std::uint8_t> buffer(64);
    buffer.resize(file->Read(buffer.data(), static_cast<std::uint32_t>(buffer.size())));
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), "emulated handset\n");
}

TEST_F(PortServerProcess, StaleReadsAreRetriedAndLoggedInTheServer)
{
    const auto content = bytePattern(1300, 1);
    putHandsetFile(u"/data/trace.bin", content);

    // Stale responses to the first READ: two are retried, a third fails.
    const struct {
        int staleResponses;
        bool succeeds;
    } cases[] = {{1, true}, {2, true}, {3, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.staleResponses);
        ASSERT_EQ(control->ClearFaults(), S_OK);
        const std::size_t linesBefore = logLines().size();

        const std::int32_t fd = Diag::Efs::Open(port.get(), kTimeout, Diag::Efs2::kFileSubsystem)
                                    .Execute(u"/data/trace.bin", Diag::Efs2::kOpenReadOnly, 0);
        EXPECT_EQ(openDescriptors(), 1u);
        for (int i = 0; i < c.staleResponses; ++i) {
            ASSERT_EQ(control->QueueFault(PortFaultStaleOffset, 512, Diag::Efs2::Read), S_OK);
        }
        {
            const auto file = Rc::makeHeap<Efs::File, Efs::FileBase>(fd, port.get(), kTimeout,
                                                                     Diag::Efs2::kFileSubsystem);
            std::vector<std::uint8_t> buffer(content.size());
            try {
                EXPECT_EQ(file->Read(buffer.data(), static_cast<std::uint32_t>(buffer.size())),
                          content.size());
                EXPECT_TRUE(c.succeeds);
                EXPECT_EQ(buffer, content);
            } catch (const CEFSException& error) {
                EXPECT_FALSE(c.succeeds);
                EXPECT_EQ(error.GetCode(), EFSERR_READ_OFFSET);
            }
        }
        // The file closed its descriptor through the proxy when it went.
        EXPECT_EQ(openDescriptors(), 0u);
        ULONG pending = 99;
        EXPECT_EQ(control->GetPendingFaults(&pending), S_OK);
        EXPECT_EQ(pending, 0u);

        const auto lines = logLines();
        ASSERT_EQ(lines.size() - linesBefore,
                  static_cast<std::size_t>(std::min(c.staleResponses, 2)));
        for (std::size_t i = linesBefore; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i], Efs::File::kOffsetMismatchLogLine);
        }
    }
}

TEST_F(PortServerProcess, AnObjectStillHeldKeepsTheServerRunning)
{
    putHandsetFile(u"/nv/kept", {1, 2, 3});
    const auto file = itemFile(port.get(), u"/nv/kept", Diag::Efs2::kFileSubsystem);
    // Only the item file's port and service hold the server now.
    releaseAll();
    std::uint8_t buffer[8] = {};
    EXPECT_EQ(file->Read(buffer, sizeof buffer), 3u);
    EXPECT_EQ(buffer[2], 3);
}

TEST_F(PortServerProcess, VornakStreamsReachItemsAndTheLogInTheServer)
{
    // A TavoEFSFile connected with no descriptor is an item file: whole-file
    // calls through the server's item service.
    ComPtr<ITavoEFSFile> item;
    ASSERT_EQ(
        CoCreateInstance(CLSID_TavoEFSFile, nullptr, CLSCTX_ALL, IID_ITavoEFSFile, item.putVoid()),
        S_OK);
    ASSERT_EQ(item->Connect(port.get(), kTimeout, 0xFFFFFFFF,
                            Platform::Bstr(u"/nv/stream.bin").get(), 0, 0, 0, 0, 0, 0, 0,
                            Diag::Efs2::kFileSubsystem),
              S_OK);
    const auto itemStream = query<IStream>(item.get(), IID_IStream);
    const auto bytes = bytePattern(700, 3);
    ULONG count = 0;
    ASSERT_EQ(itemStream->Write(bytes.data(), 700, &count), S_OK);
    EXPECT_EQ(count, 700u);
    EXPECT_EQ(handsetFile(u"/nv/stream.bin"), bytes);
    for (int read = 0; read < 2; ++read) {
        std::vector<std::uint8_t> buffer(1024);
        ASSERT_EQ(itemStream->Read(buffer.data(), 1024, &count), S_OK);
        buffer.resize(count);
        EXPECT_EQ(buffer, bytes) << "read " << read;
    }
    STATSTG stat = {};
    ASSERT_EQ(itemStream->Stat(&stat, STATFLAG_DEFAULT), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, 700u);
    EXPECT_EQ(Platform::toU16String(stat.pwcsName), u"/nv/stream.bin");
    CoTaskMemFree(stat.pwcsName);

    // A handset file opened by a folder on the server's port: the read
    // retry's log line arrives in the server's log.
    putHandsetFile(u"/data/trace.bin", bytePattern(600, 1));
    ComPtr<ITavoEFSFolder> folder;
    ASSERT_EQ(CoCreateInstance(CLSID_TavoEFSFolder, nullptr, CLSCTX_ALL, IID_ITavoEFSFolder,
                               folder.putVoid()),
              S_OK);
    ASSERT_EQ(folder->Connect(port.get(), kTimeout, Platform::Bstr(u"/data").get(),
                              Diag::Efs2::kFileSubsystem),
              S_OK);
    ComPtr<IStream> file;
    ASSERT_EQ(query<IStorage>(folder.get(), IID_IStorage)
                  ->OpenStream(L"trace.bin", nullptr, STGM_READ, 0, file.put()),
              S_OK);
    const std::size_t linesBefore = logLines().size();
    ASSERT_EQ(control->QueueFault(PortFaultStaleOffset, 512, Diag::Efs2::Read), S_OK);
    ASSERT_EQ(control->QueueFault(PortFaultStaleOffset, 512, Diag::Efs2::Read), S_OK);
    std::vector<std::uint8_t> buffer(600);
    ASSERT_EQ(file->Read(buffer.data(), 600, &count), S_OK);
    EXPECT_EQ(count, 600u);
    EXPECT_EQ(buffer, bytePattern(600, 1));
    const auto lines = logLines();
    ASSERT_EQ(lines.size(), linesBefore + 2);
    EXPECT_EQ(lines.back(), Efs::File::kOffsetMismatchLogLine);
    file.reset();
    EXPECT_EQ(openDescriptors(), 0u);
}
