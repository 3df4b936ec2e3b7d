// The port-server side of the emulator where the item files do not reach it:
// unknown ports and services, a buffer smaller than the item, and the log.
// The item files' own tests use the rest.
#include "emulator/PortServer.h"
#include "emulator/EmulatedPort.h"
#include "platform/Bstr.h"

#include <gtest/gtest.h>

using Platform::ComPtr;

TEST(PortServer, RefusesWhatItDoesNotHave)
{
    auto handset = std::make_shared<Emulator::Handset>();
    handset->writeFile(u"/item", std::vector<std::uint8_t>{'i', 't', 'e', 'm', 's'});
    auto log = std::make_shared<Emulator::LogBook>();
    ComPtr<IDiagPort> port = Emulator::EmulatedPort::create(handset, 7, log);
    auto server = Emulator::PortServer::create();
    ASSERT_EQ(server->addPort(port.get()), S_OK);
    ComPtr<IPortDirectory> directory;
    ASSERT_EQ(server->GetPortDirectory(directory.put()), S_OK);
    ComPtr<IServerPort> found;
    EXPECT_EQ(directory->GetPort(8, found.put()), Emulator::PortServer::kNoSuchPort);
    EXPECT_FALSE(found);
    EXPECT_EQ(server->addPort(directory.get()), E_NOINTERFACE); // no port at all
    ASSERT_EQ(directory->GetPort(7, found.put()), S_OK);

    ComPtr<IUnknown> service;
    EXPECT_EQ(found->GetService(5, 0, service.put()), E_INVALIDARG);
    ASSERT_EQ(found->GetService(Emulator::EmulatedPort::kFileItemService, 0, service.put()), S_OK);
    ComPtr<IItemService> items;
    ASSERT_EQ(Platform::queryInterfaceNoThrow(service.get(), IID_IItemService, items), S_OK);
    std::uint8_t buffer[8] = {};
    ULONG count = 4; // the buffer bounds what is delivered
    Platform::Bstr path(u"/item");
    ASSERT_EQ(items->GetItem(path.get(), &count, buffer), S_OK);
    EXPECT_EQ(std::string(buffer, buffer + count), "item");

    ComPtr<IUnknown> logObject;
    ASSERT_EQ(found->GetLog(logObject.put()), S_OK);
    ComPtr<ILogSink> sink;
    ASSERT_EQ(Platform::queryInterfaceNoThrow(logObject.get(), IID_ILogSink, sink), S_OK);
    ASSERT_EQ(sink->LogMessage(path.get()), S_OK);
    ASSERT_EQ(sink->LogMessage(nullptr), S_OK);
    EXPECT_EQ(log->lines(), (std::vector<std::u16string>{u"/item", u""}));
}
