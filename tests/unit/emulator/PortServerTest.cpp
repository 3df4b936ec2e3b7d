// The port-server side of the emulator: a port names itself, hands out the
// item service of its handset and its log, and the port server finds it by
// its identifier.
#include "emulator/PortServer.h"
#include "emulator/EmulatedPort.h"
#include "platform/Bstr.h"

#include <gtest/gtest.h>

namespace {

using Platform::ComPtr;

std::vector<std::uint8_t> bytesOf(const char* text)
{
    return std::vector<std::uint8_t>(text, text + std::char_traits<char>::length(text));
}

class PortServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        handset->edit([](Emulator::FileSystem& fs) {
            fs.addDirectory(u"/nv");
            const auto bytes = bytesOf("item bytes");
            fs.addFile(u"/nv/item", bytes);
        });
    }

    template <class T>
    ComPtr<T> query(IUnknown* object, REFIID iid)
    {
        ComPtr<T> result;
        EXPECT_EQ(Platform::queryInterfaceNoThrow(object, iid, result), S_OK);
        return result;
    }

    ComPtr<IItemService> itemService(ULONG selector)
    {
        ComPtr<IUnknown> service;
        EXPECT_EQ(
            query<IServerPort>(port.get(), IID_IServerPort)->GetService(selector, 0, service.put()),
            S_OK);
        return query<IItemService>(service.get(), IID_IItemService);
    }

    std::shared_ptr<Emulator::Handset> handset = std::make_shared<Emulator::Handset>();
    std::shared_ptr<Emulator::LogBook> log = std::make_shared<Emulator::LogBook>();
    ComPtr<IDiagPort> port = Emulator::EmulatedPort::create(handset, 7, log);
};

} // namespace

TEST_F(PortServerTest, FindsPortsByIdentifier)
{
    auto server = Emulator::PortServer::create();
    ASSERT_EQ(server->addPort(port.get()), S_OK);
    ComPtr<IPortDirectory> directory;
    ASSERT_EQ(server->GetPortDirectory(directory.put()), S_OK);
    ComPtr<IServerPort> found;
    ASSERT_EQ(directory->GetPort(7, found.put()), S_OK);
    EXPECT_EQ(static_cast<void*>(found.get()),
              query<IServerPort>(port.get(), IID_IServerPort).get());
    EXPECT_EQ(directory->GetPort(8, found.put()), Emulator::PortServer::kNoSuchPort);
    EXPECT_FALSE(found);

    // Something that is no port cannot be added.
    EXPECT_EQ(server->addPort(directory.get()), E_NOINTERFACE);
}

TEST_F(PortServerTest, ItemsAreWholeFilesOfTheSameHandset)
{
    for (ULONG selector :
         {Emulator::EmulatedPort::kFileItemService, Emulator::EmulatedPort::kOtherItemService}) {
        ComPtr<IItemService> items = itemService(selector);
        Platform::Bstr path(u"/nv/item");
        ULONG mode = 0, size = 0, links = 0, atime = 0, mtime = 0, ctime = 0;
        ASSERT_EQ(items->StatItem(path.get(), &mode, &size, &links, &atime, &mtime, &ctime), S_OK);
        EXPECT_EQ(mode & 0xF000, 0x8000u);
        EXPECT_EQ(size, 10u);

        std::uint8_t buffer[32] = {};
        ULONG count = 4; // the buffer bounds what is delivered
        ASSERT_EQ(items->GetItem(path.get(), &count, buffer), S_OK);
        EXPECT_EQ(count, 4u);
        EXPECT_EQ(std::string(buffer, buffer + 4), "item");
    }

    ComPtr<IItemService> items = itemService(18);
    Platform::Bstr fresh(u"/nv/fresh");
    const auto bytes = bytesOf("new");
    ASSERT_EQ(items->PutItem(fresh.get(), 3, bytes.data()), S_OK);
    std::vector<std::uint8_t> stored;
    EXPECT_EQ(handset->readFile(u"/nv/fresh", stored), 0u);
    EXPECT_EQ(stored, bytes);

    ULONG count = 8;
    std::uint8_t buffer[8];
    Platform::Bstr missing(u"/nv/none");
    EXPECT_EQ(items->GetItem(missing.get(), &count, buffer), static_cast<HRESULT>(0x80070002u));
    EXPECT_EQ(count, 0u);

    ComPtr<IUnknown> none;
    EXPECT_EQ(query<IServerPort>(port.get(), IID_IServerPort)->GetService(5, 0, none.put()),
              E_INVALIDARG);
}

TEST_F(PortServerTest, LogLinesReachTheBook)
{
    ComPtr<IUnknown> logObject;
    ASSERT_EQ(query<IServerPort>(port.get(), IID_IServerPort)->GetLog(logObject.put()), S_OK);
    auto sink = query<ILogSink>(logObject.get(), IID_ILogSink);
    Platform::Bstr line(u"File::Read sequence number mismatch in last EFS2 read");
    ASSERT_EQ(sink->LogMessage(line.get()), S_OK);
    ASSERT_EQ(sink->LogMessage(nullptr), S_OK);
    EXPECT_EQ(log->lines(), (std::vector<std::u16string>{line.text(), u""}));

    ULONG id = 0;
    EXPECT_EQ(query<IPortIdentity>(port.get(), IID_IPortIdentity)->GetPortId(&id), S_OK);
    EXPECT_EQ(id, 7u);
}
