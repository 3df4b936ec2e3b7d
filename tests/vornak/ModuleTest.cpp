// The module as the platform sees it: class objects, creation by class and
// ProgID, aggregation, error-information support, unloading, and the
// folder's connection to a port.
#include "support/ComTest.h"

#include <string>

using ComTest::CountedPort;
using Platform::Bstr;
using Platform::ComPtr;

namespace {

// Each class, made by the ProgIDs "Vornak.<name>.1" and "Vornak.<name>".
const struct ClassCase {
    const CLSID* clsid;
    std::wstring name;
    const IID* own;    // its dual interface
    const IID* errors; // the other interface it reports errors for
} kClasses[] = {
    {&CLSID_TavoEFSFile, L"TavoEFSFile", &IID_ITavoEFSFile, &IID_IStream},
    {&CLSID_TavoEFSFolder, L"TavoEFSFolder", &IID_ITavoEFSFolder, &IID_IStorage},
    {&CLSID_TavoEFSEnum, L"TavoEFSEnum", &IID_ITavoEFSEnum, &IID_IEnumSTATSTG},
    {&CLSID_TavoWinFolder, L"TavoWinFolder", &IID_ITavoWinFolder, &IID_ITavoWinFolder},
};

HRESULT dllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    using Function = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    const auto function = ComTest::moduleExport<Function>("DllGetClassObject");
    return function == nullptr ? E_UNEXPECTED : function(clsid, iid, out);
}

class ModuleTest : public ::testing::Test {
protected:
    // Loads the module through COM, so that its exports can be called.
    void SetUp() override { ASSERT_TRUE(ComTest::createRunning(CLSID_TavoEFSEnum)); }
};

TEST_F(ModuleTest, EachClassHasOneCachedClassObjectAndIsMadeByItsProgIds)
{
    for (const ClassCase& c : kClasses) {
        SCOPED_TRACE(::testing::Message() << c.name);
        ComPtr<IClassFactory> first;
        ComPtr<IClassFactory> second;
        ASSERT_EQ(dllGetClassObject(*c.clsid, IID_IClassFactory, first.putVoid()), S_OK);
        ASSERT_EQ(dllGetClassObject(*c.clsid, IID_IClassFactory, second.putVoid()), S_OK);
        EXPECT_EQ(first.get(), second.get());
        for (const std::wstring& progId : {L"Vornak." + c.name + L".1", L"Vornak." + c.name}) {
            CLSID clsid = GUID_NULL;
            ASSERT_EQ(CLSIDFromProgID(progId.c_str(), &clsid), S_OK);
            EXPECT_TRUE(IsEqualCLSID(clsid, *c.clsid));
            EXPECT_TRUE(ComTest::createRunning(clsid));
        }
        const auto support = ComTest::create<ISupportErrorInfo>(*c.clsid, IID_ISupportErrorInfo);
        for (const IID* iid : {c.own, c.errors, &IID_IDispatch}) {
            EXPECT_EQ(support->InterfaceSupportsErrorInfo(*iid),
                      iid == &IID_IDispatch ? S_FALSE : S_OK);
        }
    }
    void* out = &out;
    EXPECT_EQ(dllGetClassObject(IID_IStorage, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
}

TEST_F(ModuleTest, EveryClassCanBeAggregatedAsIUnknownOnly)
{
    for (const ClassCase& c : kClasses) {
        SCOPED_TRACE(::testing::Message() << c.name);
        const auto outer = CountedPort::make(CountedPort::Kind::NotAPort);
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(dllGetClassObject(*c.clsid, IID_IClassFactory, factory.putVoid()), S_OK);
        void* refused = &refused;
        EXPECT_EQ(factory->CreateInstance(outer.get(), IID_IStorage, &refused),
                  CLASS_E_NOAGGREGATION);
        EXPECT_EQ(refused, nullptr);

        IUnknown* inner = nullptr;
        ASSERT_EQ(
            factory->CreateInstance(outer.get(), IID_IUnknown, reinterpret_cast<void**>(&inner)),
            S_OK);
        auto own = ComTest::query<IUnknown>(inner, *c.own);
        EXPECT_EQ(outer->held(), 1u) << "the inner object's interfaces count on the outer";
        EXPECT_EQ(ComTest::query<IUnknown>(own.get(), IID_IUnknown).get(),
                  static_cast<IUnknown*>(outer.get()));
        own.reset();
        EXPECT_EQ(outer->held(), 0u);
        EXPECT_EQ(inner->Release(), 0u);
    }
}

TEST_F(ModuleTest, ObjectsAndServerLocksKeepTheModuleLoaded)
{
    EXPECT_EQ(ComTest::canUnloadNow(), S_OK);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(dllGetClassObject(CLSID_TavoEFSFolder, IID_IClassFactory, factory.putVoid()), S_OK);
    EXPECT_EQ(ComTest::canUnloadNow(), S_OK) << "a class object alone does not hold the module";
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(ComTest::canUnloadNow(), S_FALSE);
    IUnknown* object = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IStorage, reinterpret_cast<void**>(&object)),
              S_OK);
    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(ComTest::canUnloadNow(), S_FALSE);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(ComTest::canUnloadNow(), S_OK);
}

TEST(FolderConnect, KeepsThePortAndPathUnlessThePortsQueryFails)
{
    const auto folder = ComTest::create<ITavoEFSFolder>(CLSID_TavoEFSFolder, IID_ITavoEFSFolder);
    const auto path = [&] {
        Bstr text;
        EXPECT_EQ(folder->get_path(text.put()), S_OK);
        return std::wstring(text.get() != nullptr ? text.get() : L"<null>");
    };
    const auto first = CountedPort::make();
    ASSERT_EQ(folder->Connect(first.get(), 1000, Bstr(u"/a/").get(), 19), S_OK);
    EXPECT_EQ(first->held(), 1u);
    EXPECT_EQ(folder->Connect(nullptr, 1000, nullptr, 19), E_POINTER);

    // A query that fails otherwise than E_NOINTERFACE fails Connect and
    // changes nothing.
    const auto refusing = CountedPort::make(CountedPort::Kind::NotAPort, E_ACCESSDENIED);
    EXPECT_EQ(folder->Connect(refusing.get(), 1000, nullptr, 19), E_ACCESSDENIED);
    const ComTest::ErrorRecord error = ComTest::takeErrorInfo();
    EXPECT_TRUE(IsEqualGUID(error.guid, IID_ITavoEFSFolder));
    EXPECT_EQ(error.source, L"Vornak.TavoEFSFolder.1");
    EXPECT_EQ(path(), L"/a/");

    // An object that is no port connects, but is not kept; a new connection
    // releases the old port, and a null path is the empty path.
    const auto notAPort = CountedPort::make(CountedPort::Kind::NotAPort);
    EXPECT_EQ(folder->Connect(notAPort.get(), 1000, nullptr, 19), S_OK);
    EXPECT_EQ(path(), L"") << "even an empty path is a string";
    EXPECT_EQ(first->held() + notAPort->held(), 0u);
}

} // namespace
