// The module as the platform sees it: class objects, creation by class and
// ProgID, interface tables, aggregation, unloading, and the folder's
// connection to a port.
#include "com/ComTest.h"

#include <string>
#include <vector>

using ComTest::CountedPort;
using Platform::Bstr;
using Platform::ComPtr;

namespace {

struct ClassCase {
    const char* name;
    const CLSID* clsid;
    const wchar_t* progIds[2];
    std::vector<const IID*> interfaces;      // what QueryInterface answers, table order
    std::vector<const IID*> errorInterfaces; // what ISupportErrorInfo answers S_OK for
};

const ClassCase kClasses[] = {
    {"TavoEFSFile",
     &CLSID_TavoEFSFile,
     {L"Vornak.TavoEFSFile.1", L"Vornak.TavoEFSFile"},
     {&IID_ITavoEFSFile, &IID_IStream, &IID_IDispatch, &IID_ISupportErrorInfo,
      &IID_IConnectionPointContainer},
     {&IID_ITavoEFSFile, &IID_IStream}},
    {"TavoEFSFolder",
     &CLSID_TavoEFSFolder,
     {L"Vornak.TavoEFSFolder.1", L"Vornak.TavoEFSFolder"},
     {&IID_ITavoEFSFolder, &IID_IStorage, &IID_IDispatch, &IID_ISupportErrorInfo,
      &IID_IConnectionPointContainer},
     {&IID_ITavoEFSFolder, &IID_IStorage}},
    {"TavoEFSEnum",
     &CLSID_TavoEFSEnum,
     {L"Vornak.TavoEFSEnum.1", L"Vornak.TavoEFSEnum"},
     {&IID_ITavoEFSEnum, &IID_IEnumSTATSTG, &IID_IDispatch, &IID_ISupportErrorInfo},
     {&IID_ITavoEFSEnum, &IID_IEnumSTATSTG}},
    {"TavoWinFolder",
     &CLSID_TavoWinFolder,
     {L"Vornak.TavoWinFolder.1", L"Vornak.TavoWinFolder"},
     {&IID_ITavoWinFolder, &IID_IStorage, &IID_IDispatch, &IID_ISupportErrorInfo,
      &IID_IConnectionPointContainer},
     {&IID_ITavoWinFolder}},
};

// Every interface that some class might be asked for.
const IID* const kCandidates[] = {
    &IID_ITavoEFSFile,
    &IID_ITavoEFSFolder,
    &IID_ITavoEFSEnum,
    &IID_ITavoWinFolder,
    &IID_IStream,
    &IID_IStorage,
    &IID_IEnumSTATSTG,
    &IID_IDispatch,
    &IID_IPersist,
    &IID_ISupportErrorInfo,
    &IID_ITavoFileCopyProgress,
    &IID_IConnectionPointContainer,
};

bool contains(const std::vector<const IID*>& list, const IID& iid)
{
    for (const IID* candidate : list) {
        if (IsEqualIID(*candidate, iid)) {
            return true;
        }
    }
    return false;
}

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

TEST_F(ModuleTest, ClassesComeFromOneCachedClassObjectEach)
{
    for (const ClassCase& c : kClasses) {
        SCOPED_TRACE(c.name);
        ComPtr<IClassFactory> first;
        ComPtr<IClassFactory> second;
        ASSERT_EQ(dllGetClassObject(*c.clsid, IID_IClassFactory, first.putVoid()), S_OK);
        ASSERT_EQ(dllGetClassObject(*c.clsid, IID_IClassFactory, second.putVoid()), S_OK);
        EXPECT_EQ(first.get(), second.get());
        for (const wchar_t* progId : c.progIds) {
            CLSID clsid = GUID_NULL;
            ASSERT_EQ(CLSIDFromProgID(progId, &clsid), S_OK);
            EXPECT_TRUE(ComTest::createRunning(clsid));
        }
    }
    void* out = &out;
    EXPECT_EQ(dllGetClassObject(IID_IStorage, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
}

TEST_F(ModuleTest, InterfaceTablesAndErrorInfoSupport)
{
    for (const ClassCase& c : kClasses) {
        const ComPtr<IUnknown> object = ComTest::createRunning(*c.clsid);
        const auto support = ComTest::query<ISupportErrorInfo>(object.get(), IID_ISupportErrorInfo);
        ASSERT_TRUE(support);
        for (const IID* iid : kCandidates) {
            SCOPED_TRACE(::testing::Message() << c.name << ", candidate " << iid - kCandidates[0]);
            EXPECT_EQ(support->InterfaceSupportsErrorInfo(*iid),
                      contains(c.errorInterfaces, *iid) ? S_OK : S_FALSE);
            ComPtr<IUnknown> answer;
            const HRESULT hr = object->QueryInterface(*iid, answer.putVoid());
            if (!contains(c.interfaces, *iid)) {
                EXPECT_EQ(hr, E_NOINTERFACE);
                EXPECT_FALSE(answer);
                continue;
            }
            ASSERT_EQ(hr, S_OK);
            EXPECT_EQ(ComTest::query<IUnknown>(answer.get(), IID_IUnknown).get(), object.get())
                << "every interface leads back to one identity";
        }
    }
}

TEST_F(ModuleTest, EveryClassCanBeAggregatedAsIUnknownOnly)
{
    for (const ClassCase& c : kClasses) {
        SCOPED_TRACE(c.name);
        CountedPort outer(CountedPort::Kind::NotAPort);
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(dllGetClassObject(*c.clsid, IID_IClassFactory, factory.putVoid()), S_OK);
        void* refused = &refused;
        EXPECT_EQ(factory->CreateInstance(&outer, IID_IStorage, &refused), CLASS_E_NOAGGREGATION);
        EXPECT_EQ(refused, nullptr);

        IUnknown* inner = nullptr;
        ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)),
                  S_OK);
        EXPECT_EQ(outer.held(), 0u);
        auto own = ComTest::query<IUnknown>(inner, *c.interfaces.front());
        EXPECT_EQ(outer.held(), 1u) << "the inner object's interfaces count on the outer";
        EXPECT_EQ(ComTest::query<IUnknown>(own.get(), IID_IUnknown).get(), &outer);
        own.reset();
        EXPECT_EQ(outer.held(), 0u);
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

TEST_F(ModuleTest, FoldersAreContainersWithoutConnectionPoints)
{
    for (const CLSID* clsid : {&CLSID_TavoEFSFolder, &CLSID_TavoWinFolder}) {
        const auto container =
            ComTest::create<IConnectionPointContainer>(*clsid, IID_IConnectionPointContainer);
        ComPtr<IConnectionPoint> point;
        EXPECT_EQ(container->FindConnectionPoint(IID_ITavoFileCopyProgress, point.put()),
                  CONNECT_E_NOCONNECTION);
        ComPtr<IEnumConnectionPoints> points;
        ASSERT_EQ(container->EnumConnectionPoints(points.put()), S_OK);
        ULONG count = 99;
        EXPECT_EQ(points->Next(1, point.put(), &count), S_FALSE);
        EXPECT_EQ(count, 0u);
    }
}

class FolderConnectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = ComTest::create<ITavoEFSFolder>(CLSID_TavoEFSFolder, IID_ITavoEFSFolder);
        ASSERT_TRUE(folder_);
    }
    std::wstring path()
    {
        Bstr text;
        EXPECT_EQ(folder_->get_path(text.put()), S_OK);
        EXPECT_NE(text.get(), nullptr) << "even an empty path is a string";
        return text.get() != nullptr ? text.get() : L"<null>";
    }
    HRESULT connect(IUnknown* port, const char16_t* text)
    {
        const Bstr name(text != nullptr ? text : u"");
        return folder_->Connect(port, 1000, text != nullptr ? name.get() : nullptr, 0x113);
    }

    ComPtr<ITavoEFSFolder> folder_;
};

TEST_F(FolderConnectTest, KeepsThePortAndThePathAsGiven)
{
    EXPECT_EQ(path(), L"");
    CountedPort first;
    CountedPort second;
    ASSERT_EQ(connect(&first, u"/a/"), S_OK);
    EXPECT_EQ(first.held(), 1u);
    EXPECT_EQ(path(), L"/a/");
    ASSERT_EQ(connect(&second, nullptr), S_OK);
    EXPECT_EQ(first.held(), 0u) << "a new connection releases the old port";
    EXPECT_EQ(path(), L"") << "a null path is the empty path";
    EXPECT_EQ(folder_->get_path(nullptr), E_POINTER);
    folder_.reset();
    EXPECT_EQ(second.held(), 0u);
}

TEST_F(FolderConnectTest, AnObjectThatIsNoPortConnectsUnlessItsQueryFails)
{
    CountedPort port;
    ASSERT_EQ(connect(&port, u"/keep"), S_OK);
    ComTest::clearErrorInfo();
    EXPECT_EQ(connect(nullptr, u"/other"), E_POINTER);
    EXPECT_FALSE(ComTest::takeErrorInfo().present);

    CountedPort refusing(CountedPort::Kind::NotAPort, E_ACCESSDENIED);
    EXPECT_EQ(connect(&refusing, u"/other"), E_ACCESSDENIED);
    const ComTest::ErrorRecord error = ComTest::takeErrorInfo();
    EXPECT_TRUE(IsEqualGUID(error.guid, IID_ITavoEFSFolder));
    EXPECT_EQ(error.source, L"Vornak.TavoEFSFolder.1");
    EXPECT_EQ(path(), L"/keep") << "a failed Connect changes nothing";
    EXPECT_EQ(port.held(), 1u);

    CountedPort notAPort(CountedPort::Kind::NotAPort);
    EXPECT_EQ(connect(&notAPort, u"/nvm"), S_OK);
    EXPECT_EQ(path(), L"/nvm");
    EXPECT_EQ(port.held(), 0u);
    EXPECT_EQ(notAPort.held(), 0u) << "an object that is no port is not kept";
}

} // namespace
