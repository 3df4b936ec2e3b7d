// The port server in a process of its own, as Vornak's streams meet it: COM
// starts VornakPortServer.exe, every object comes back as a proxy, and the
// handset, its faults and the port's log live in the server's process, where
// the test reaches them through IPortServerControl.
#include "diag/Efs2.h"
#include "efs/File.h"
#include "platform/LocalServer.h"
#include "support/ComTest.h"

#include <PortServerControl.h>

#include <string>
#include <vector>

namespace {

using ComTest::query;
using Platform::Bstr;
using Platform::ComPtr;
namespace Efs2 = Diag::Efs2;

constexpr std::uint32_t kTimeout = 1;

// Every byte value, NUL included, so that nothing treats the bytes as text.
std::vector<std::uint8_t> bytePattern(std::size_t size, unsigned start)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(start + i * 7);
    }
    return bytes;
}

// At most 4096 bytes through `stream`, from where it stands.
std::vector<std::uint8_t> readStream(IStream* stream, HRESULT expected = S_OK)
{
    std::vector<std::uint8_t> bytes(4096);
    ULONG count = 0;
    EXPECT_EQ(stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &count), expected);
    bytes.resize(count);
    return bytes;
}

class PortServerProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        ComPtr<IUnknown> started;
        ASSERT_EQ(Platform::createLocalServerNoThrow(CLSID_PortServer, started.put()), S_OK);
        server = query<IPortServer>(started.get(), IID_IPortServer);
        control = query<IPortServerControl>(started.get(), IID_IPortServerControl);
        ASSERT_TRUE(server && control);
        ASSERT_EQ(control->GetServerProcessId(&serverProcessId), S_OK);
        serverProcess = OpenProcess(SYNCHRONIZE, FALSE, serverProcessId);
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
            EXPECT_EQ(WaitForSingleObject(serverProcess, 30 * 1000), WAIT_OBJECT_0)
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

    // A TavoEFSFile connected with no descriptor: an item of the server's handset.
    ComPtr<IStream> itemStream(const char16_t* path, std::uint8_t subsystem)
    {
        ComPtr<ITavoEFSFile> item;
        EXPECT_EQ(CoCreateInstance(CLSID_TavoEFSFile, nullptr, CLSCTX_ALL, IID_ITavoEFSFile,
                                   item.putVoid()),
                  S_OK);
        EXPECT_EQ(item->Connect(port.get(), kTimeout, 0xFFFFFFFF, Bstr(path).get(), 0, 0, 0, 0, 0,
                                0, 0, subsystem),
                  S_OK);
        return query<IStream>(item.get(), IID_IStream);
    }

    ULONG logLineCount()
    {
        ULONG count = 0;
        EXPECT_EQ(control->GetLogLineCount(&count), S_OK);
        return count;
    }

    ComPtr<IPortServer> server;
    ComPtr<IPortServerControl> control;
    ComPtr<IServerPort> serverPort;
    ComPtr<IDiagPort> port;
    ULONG serverProcessId = 0;
    HANDLE serverProcess = nullptr;
};

TEST_F(PortServerProcess, EveryActivationReachesOneServerProcess)
{
    EXPECT_NE(serverProcessId, GetCurrentProcessId());

    // A second activation, as every item file makes one, reaches the same process.
    ComPtr<IUnknown> again;
    ASSERT_EQ(Platform::createLocalServerNoThrow(CLSID_PortServer, again.put()), S_OK);
    ULONG againId = 0;
    EXPECT_EQ(query<IPortServerControl>(again.get(), IID_IPortServerControl)
                  ->GetServerProcessId(&againId),
              S_OK);
    EXPECT_EQ(againId, serverProcessId);

    // The handset was seeded from the directory the server was registered with.
    const auto model = readStream(itemStream(u"/nv/model", Efs2::kFileSubsystem).get());
    EXPECT_EQ(std::string(model.begin(), model.end()), "emulated handset\n");
}

TEST_F(PortServerProcess, StreamsWriteReadAndStatItemsInTheServer)
{
    // Both item services serve the same handset.
    const struct {
        std::uint8_t subsystem;
        const char16_t* path;
        ULONG size;
    } cases[] = {
        {Efs2::kFileSubsystem, u"/nv/carrier", 700},
        {75, u"/nv/band", 3},
        {Efs2::kFileSubsystem, u"/nv/empty", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        auto bytes = bytePattern(c.size, c.subsystem);
        bytes.reserve(1); // the stream refuses a null buffer, even for no bytes
        const auto stream = itemStream(c.path, c.subsystem);
        ULONG count = 99;
        ASSERT_EQ(stream->Write(bytes.data(), c.size, &count), S_OK);
        EXPECT_EQ(count, c.size);
        // Every read delivers the whole item, from its start.
        EXPECT_EQ(readStream(stream.get()), bytes);
        EXPECT_EQ(readStream(stream.get()), bytes);
        STATSTG stat = {};
        ASSERT_EQ(stream->Stat(&stat, STATFLAG_DEFAULT), S_OK);
        EXPECT_EQ(stat.cbSize.QuadPart, c.size);
        EXPECT_EQ(Platform::toU16String(stat.pwcsName), c.path);
        CoTaskMemFree(stat.pwcsName);
    }
    // The server's failure comes back as its HRESULT.
    readStream(itemStream(u"/nv/none", Efs2::kFileSubsystem).get(),
               HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));

    // A stream still held keeps the server running: only its port and item
    // service hold it now.
    const auto kept = itemStream(u"/nv/band", 75);
    releaseAll();
    EXPECT_EQ(readStream(kept.get()), bytePattern(3, 75));
}

// A handset file opened by a folder on the server's port: the read retry's
// log line arrives in the server's log, and the descriptor is closed there.
TEST_F(PortServerProcess, ReadRetriesAreLoggedInTheServer)
{
    const auto content = bytePattern(600, 1);
    ASSERT_EQ(control->PutFile(Bstr(u"/data/trace.bin").get(), 600, content.data()), S_OK);
    ComPtr<ITavoEFSFolder> folder;
    ASSERT_EQ(CoCreateInstance(CLSID_TavoEFSFolder, nullptr, CLSCTX_ALL, IID_ITavoEFSFolder,
                               folder.putVoid()),
              S_OK);
    ASSERT_EQ(folder->Connect(port.get(), kTimeout, Bstr(u"/data").get(), Efs2::kFileSubsystem),
              S_OK);
    ComPtr<IStream> file;
    ASSERT_EQ(query<IStorage>(folder.get(), IID_IStorage)
                  ->OpenStream(L"trace.bin", nullptr, STGM_READ, 0, file.put()),
              S_OK);
    const ULONG linesBefore = logLineCount();
    for (int stale = 0; stale < 2; ++stale) {
        ASSERT_EQ(control->QueueFault(PortFaultStaleOffset, 512, Efs2::Read), S_OK);
    }
    EXPECT_EQ(readStream(file.get()), content);
    ASSERT_EQ(logLineCount(), linesBefore + 2);
    Bstr line;
    ASSERT_EQ(control->GetLogLine(linesBefore + 1, line.put()), S_OK);
    EXPECT_EQ(line.text(), Efs::File::kOffsetMismatchLogLine);

    file.reset();
    ULONG open = 99;
    EXPECT_EQ(control->GetOpenDescriptors(&open), S_OK);
    EXPECT_EQ(open, 0u);
}

} // namespace
