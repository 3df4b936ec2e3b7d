// Item files against in-process stand-ins of the port server: the emulator's
// port server, started through the platform seam.
#include "EfsTest.h"

#include "comserver/ComObject.h"
#include "efs/ItemFile.h"
#include "emulator/PortServer.h"
#include "platform/LocalServer.h"
#include "support/ScriptedPort.h"

#include <gmock/gmock.h>

#include <algorithm>

namespace {

using Platform::ComPtr;

// An IServerPort in front of another that remembers the selectors asked for.
// It can hand out itself as the service: an object without IItemService.
class SelectorSpy final : public ComServer::ComObject<SelectorSpy, IPortIdentity, IServerPort> {
public:
    explicit SelectorSpy(IUnknown* port)
    {
        Platform::queryInterfaceNoThrow(port, IID_IServerPort, inner_);
    }
    static std::span<const ComServer::InterfaceEntry<SelectorSpy>> interfaceTable()
    {
        static constexpr ComServer::InterfaceEntry<SelectorSpy> table[] = {
            ComServer::interfaceEntry<SelectorSpy, IPortIdentity>(IID_IPortIdentity),
            ComServer::interfaceEntry<SelectorSpy, IServerPort>(IID_IServerPort),
        };
        return table;
    }
    HRESULT STDMETHODCALLTYPE GetPortId(ULONG* id) override
    {
        *id = 1;
        return S_OK;
    }
    VORNAK_RESERVED_SLOT(1)
    VORNAK_RESERVED_SLOT(2)
    VORNAK_RESERVED_SLOT(4)
    VORNAK_RESERVED_SLOT(5)
    VORNAK_RESERVED_SLOT(6)
    VORNAK_RESERVED_SLOT(7)
    HRESULT STDMETHODCALLTYPE GetService(ULONG selector, ULONG constant,
                                         IUnknown** service) override
    {
        selectors.push_back(selector);
        if (serveItself) {
            *service = static_cast<IPortIdentity*>(this);
            AddRef();
            return S_OK;
        }
        if (items) {
            *service = items.get();
            items->AddRef();
            return S_OK;
        }
        return failWith != S_OK ? failWith : inner_->GetService(selector, constant, service);
    }
    HRESULT STDMETHODCALLTYPE GetLog(IUnknown** log) override { return inner_->GetLog(log); }

    std::vector<ULONG> selectors;
    HRESULT failWith = S_OK;
    bool serveItself = false;
    Platform::ComPtr<IItemService> items; // handed out in place of the server's when set

private:
    ComPtr<IServerPort> inner_;
};

// An item service that fills the buffer it is given and says it delivered
// `extra` bytes more.
class OverstatingItems final : public ComServer::ComObject<OverstatingItems, IItemService> {
public:
    explicit OverstatingItems(ULONG extra)
        : extra_(extra)
    {}
    static std::span<const ComServer::InterfaceEntry<OverstatingItems>> interfaceTable()
    {
        static constexpr ComServer::InterfaceEntry<OverstatingItems> table[] = {
            ComServer::interfaceEntry<OverstatingItems, IItemService>(IID_IItemService),
        };
        return table;
    }
    VORNAK_RESERVED_SLOTS_1_TO_10
    HRESULT STDMETHODCALLTYPE StatItem(BSTR, ULONG*, ULONG*, ULONG*, ULONG*, ULONG*,
                                       ULONG*) override
    {
        return E_NOTIMPL;
    }
    VORNAK_RESERVED_SLOTS_12_TO_17
    HRESULT STDMETHODCALLTYPE PutItem(BSTR, ULONG, const BYTE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetItem(BSTR, ULONG* count, BYTE* buffer) override
    {
        std::fill(buffer, buffer + *count, BYTE{'x'});
        *count += extra_;
        return S_OK;
    }

private:
    ULONG extra_;
};

class ItemFileTest : public EfsTest::HandsetFixture {
protected:
    ItemFileTest()
        : spy(SelectorSpy::make(device.get()))
    {
        server->addPort(static_cast<IPortIdentity*>(spy.get()));
    }

    Rc::Pointer<Efs::FileBase> item(const char16_t* path, std::uint8_t subsys = kSubsys)
    {
        return itemOn(port.get(), path, subsys);
    }
    static Rc::Pointer<Efs::FileBase> itemOn(IUnknown* somePort, const char16_t* path = u"/a",
                                             std::uint8_t subsys = kSubsys)
    {
        return Rc::makeHeap<Efs::ItemFile, Efs::FileBase>(somePort, Efs::ItemFile::DevicePath(path),
                                                          kTimeout, subsys);
    }

    static HRESULT errorOf(const std::function<void()>& action)
    {
        try {
            action();
        } catch (const _com_error& e) {
            return e.Error();
        }
        return S_OK;
    }

    ComPtr<SelectorSpy> spy;
    ComPtr<Emulator::PortServer> server = Emulator::PortServer::create();
    Platform::LocalServerOverride localServer{[this](REFCLSID clsid, IUnknown** started) {
        EXPECT_TRUE(IsEqualGUID(clsid, CLSID_PortServer));
        *started = static_cast<IPortServer*>(server.get());
        (*started)->AddRef();
        return S_OK;
    }};
};

struct NoProgress : Marl::Efs::EFSFileProgress {
    void FileWriteProgress(std::uint32_t, std::uint32_t, std::uint32_t) override { ADD_FAILURE(); }
    void FileReadProgress(std::uint32_t, std::uint32_t, std::uint32_t) override { ADD_FAILURE(); }
};

} // namespace

TEST_F(ItemFileTest, WholeFilesByPathWithoutPositionOrProgress)
{
    const EfsTest::Bytes content = EfsTest::patterned(700);
    addFile(u"/nv/item_files/a", content);
    auto file = item(u"/nv/./item_files/a");
    EXPECT_EQ(spy->selectors, std::vector<ULONG>{18});

    EfsTest::Bytes first(800), second(800);
    EXPECT_EQ(file->Read(first.data(), 800), 700u);
    EXPECT_EQ(file->Seek(300, Efs::SeekSet), 300u); // items have no position
    EXPECT_EQ(file->Read(second.data(), 800), 700u);
    EXPECT_EQ(first, second);
    EXPECT_TRUE(std::equal(content.begin(), content.end(), first.begin()));
    EXPECT_EQ(file->Size(), 700u);

    NoProgress progress;
    EXPECT_EQ(file->Write(content.data(), 10, &progress), 10u);
    EXPECT_EQ(file->position(), 0u);
    std::uint32_t mode = 0, size = 0;
    file->Stat(&mode, &size, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(mode & 0xF000, 0x8000u);
    EXPECT_TRUE(port->requests.empty()); // no EFS2 packet of its own
}

TEST_F(ItemFileTest, TheServiceFollowsTheSubsystem)
{
    item(u"/a", 19);
    item(u"/a", 75);
    item(u"/a", 62);
    EXPECT_EQ(spy->selectors, (std::vector<ULONG>{18, 19, 19}));
}

TEST_F(ItemFileTest, ConstructionFailures)
{
    // No port, or a port that does not say which it is.
    EXPECT_EQ(errorOf([&] { itemOn(nullptr); }), E_POINTER);
    auto scripted = TestSupport::ScriptedPort::create();
    EXPECT_EQ(errorOf([&] { itemOn(scripted.get()); }), E_NOINTERFACE);

    // The service call fails: its result comes through.
    spy->failWith = static_cast<HRESULT>(0x80070015u);
    EXPECT_EQ(errorOf([&] { item(u"/a"); }), static_cast<HRESULT>(0x80070015u));
    spy->failWith = S_OK;

    // No server starts.
    {
        Platform::LocalServerOverride none([](REFCLSID, IUnknown**) { return E_FAIL; });
        EXPECT_EQ(errorOf([&] { item(u"/a"); }), E_POINTER);
    }
}

// A count beyond the buffer is no count of bytes in it: the stream would
// report it to its caller, and CopyTo would hand on bytes from past its
// buffer.
TEST_F(ItemFileTest, AServiceThatDeliversMoreThanTheBufferHeldIsRefused)
{
    std::uint8_t buffer[8] = {};
    for (const ULONG extra : {0u, 1u, 0x10000u}) {
        spy->items = OverstatingItems::make<IItemService>(extra);
        auto file = item(u"/a");
        if (extra == 0) {
            EXPECT_EQ(file->Read(buffer, 8), 8u);
            continue;
        }
        const CEFSException e = EfsTest::caught([&] { file->Read(buffer, 8); });
        EXPECT_EQ(e.GetCode(), 514u);
        EXPECT_EQ(e.GetMessage(), "GetItem");
    }
}

TEST_F(ItemFileTest, FailingItemCallsAndAServiceWithoutItems)
{
    auto missing = item(u"/none");
    std::uint8_t oneByte = 0;
    EXPECT_EQ(errorOf([&] { missing->Read(&oneByte, 1); }), static_cast<HRESULT>(0x80070002u));

    // A service object that offers no IItemService: construction succeeds, the
    // first read fails.
    spy->serveItself = true;
    auto withoutItems = item(u"/a");
    EXPECT_EQ(errorOf([&] { withoutItems->Read(&oneByte, 1); }), E_POINTER);
}
