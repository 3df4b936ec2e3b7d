// The error-reporting routine and the boundary guard, called directly, and
// the error information that unsupported methods of the classes leave.
#include "comserver/ErrorInfo.h"
#include "diag/CEFSException.h"
#include "support/ComTest.h"
#include "vornak/Boundary.h"

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

using ComTest::ErrorRecord;
using ComTest::takeErrorInfo;
using Platform::ComPtr;

namespace {

TEST(ErrorInfo, RoutineRecordsWhatItIsGiven)
{
    const struct {
        const CLSID* clsid;
        const char* description;
        DWORD helpContext;
        HRESULT given, returned;
        const wchar_t* source; // null: left unset, as a class without a ProgID
        const wchar_t* recorded;
    } cases[] = {
        {&CLSID_TavoEFSFolder, "EFS2_DIAG_OPEN /x", 3, VORNAK_E_HANDSET, VORNAK_E_HANDSET,
         L"Vornak.TavoEFSFolder.1", L"EFS2_DIAG_OPEN /x"},
        {&CLSID_TavoEFSEnum, "zero", 0, S_OK, DISP_E_EXCEPTION, L"Vornak.TavoEFSEnum.1", L"zero"},
        {&IID_IStorage, "caf\xe9 \x80 \x9f", 0, E_FAIL, E_FAIL, nullptr, // Windows-1252
         L"caf\u00e9 \u20ac \u0178"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        ComTest::clearErrorInfo();
        EXPECT_EQ(
            ComServer::reportError(*c.clsid, c.description, c.helpContext, IID_IStorage, c.given),
            c.returned);
        const ErrorRecord error = takeErrorInfo();
        EXPECT_TRUE(IsEqualGUID(error.guid, IID_IStorage));
        EXPECT_EQ(error.hasSource, c.source != nullptr);
        EXPECT_EQ(error.source, c.source != nullptr ? c.source : L"");
        EXPECT_EQ(error.description, c.recorded);
        EXPECT_EQ(error.helpContext, c.helpContext);
        EXPECT_EQ(error.hasHelpFile, c.helpContext != 0) << "help only with a help context";
    }
}

// What the folder's own methods cannot show: a COM error passes its
// information on, and one without information leaves an empty record.
TEST(ErrorInfo, GuardPassesComErrorsOn)
{
    const ComServer::Boundary folder =
        Vornak::boundary(CLSID_TavoEFSFolder, IID_IStorage, VORNAK_E_UNEXPECTED);
    ComPtr<ICreateErrorInfo> created;
    ASSERT_EQ(CreateErrorInfo(created.put()), S_OK);
    std::wstring text = L"port busy";
    created->SetDescription(text.data());
    created->SetHelpContext(42);
    auto info = ComTest::query<IErrorInfo>(created.get(), IID_IErrorInfo);
    EXPECT_EQ(ComServer::guard(
                  folder, [&]() -> HRESULT { throw _com_error(E_ACCESSDENIED, info.detach()); }),
              E_ACCESSDENIED);
    ErrorRecord error = takeErrorInfo();
    EXPECT_EQ(error.description, L"port busy");
    EXPECT_EQ(error.helpContext, 42u);
    EXPECT_TRUE(IsEqualGUID(error.guid, IID_IStorage));

    EXPECT_EQ(ComServer::guard(folder, []() -> HRESULT { throw _com_error(E_POINTER); }),
              E_POINTER);
    error = takeErrorInfo();
    EXPECT_TRUE(error.present);
    EXPECT_EQ(error.description, L"");
    EXPECT_EQ(ComServer::guard(folder, [] { return S_FALSE; }), S_FALSE);
    EXPECT_FALSE(takeErrorInfo().present) << "success records nothing";
}

// The guard's order: the module's own exception (through Vornak's hook), then
// no memory and anything else, which are one failure for Vornak's classes and
// two where a boundary says so.
TEST(ErrorInfo, GuardSortsWhatABodyThrowsInOneOrder)
{
    const ComServer::Boundary stream =
        Vornak::boundary(CLSID_TavoEFSFile, IID_ITavoEFSFile, E_FAIL);
    const ComServer::Boundary plain = {&CLSID_TavoEFSFile, &IID_ITavoEFSFile, E_UNEXPECTED,
                                       E_OUTOFMEMORY};
    const std::function<HRESULT()> handset = []() -> HRESULT {
        throw CEFSException("EFS2_DIAG_READ", EFSERR_READ_NOT_OPEN, 1, "EFSFile");
    };
    const std::function<HRESULT()> noMemory = []() -> HRESULT { throw std::bad_alloc(); };
    const std::function<HRESULT()> other = []() -> HRESULT { throw std::runtime_error("?"); };
    const struct {
        const ComServer::Boundary* boundary;
        const std::function<HRESULT()>* body;
        HRESULT result;
        const wchar_t* description;
        DWORD helpContext;
    } cases[] = {
        {&stream, &handset, VORNAK_E_HANDSET, L"EFS2_DIAG_READ", EFSERR_READ_NOT_OPEN},
        {&stream, &noMemory, E_FAIL, L"", 0},
        {&stream, &other, E_FAIL, L"", 0},
        {&plain, &handset, E_UNEXPECTED, L"", 0},
        {&plain, &noMemory, E_OUTOFMEMORY, L"", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ComServer::guard(*c.boundary, *c.body), c.result);
        const ErrorRecord error = takeErrorInfo();
        EXPECT_EQ(error.source, L"Vornak.TavoEFSFile.1");
        EXPECT_EQ(error.description, c.description);
        EXPECT_EQ(error.helpContext, c.helpContext);
    }
}

// Each class records the interface it reports for, which for the folder is
// the file stream's.
TEST(ErrorInfo, UnsupportedMethodsNameThemselves)
{
    const auto storage = [](IUnknown* o) { return ComTest::query<IStorage>(o, IID_IStorage); };
    const struct {
        const CLSID* clsid;
        const wchar_t* source;
        const IID* recorded;
        const wchar_t* description;
        std::function<HRESULT(IUnknown*)> call;
    } cases[] = {
        {&CLSID_TavoEFSFile, L"Vornak.TavoEFSFile.1", &IID_ITavoEFSFile, L"IStream::Clone",
         [](IUnknown* o) {
             IStream* copy = nullptr;
             return ComTest::query<IStream>(o, IID_IStream)->Clone(&copy);
         }},
        {&CLSID_TavoEFSFolder, L"Vornak.TavoEFSFolder.1", &IID_ITavoEFSFile, L"IStorage::Commit",
         [&](IUnknown* o) { return storage(o)->Commit(0); }},
        {&CLSID_TavoEFSFolder, L"Vornak.TavoEFSFolder.1", &IID_ITavoEFSFile,
         L"IStorage::SetStateBits", [&](IUnknown* o) { return storage(o)->SetStateBits(1, 1); }},
        {&CLSID_TavoWinFolder, L"Vornak.TavoWinFolder.1", &IID_ITavoWinFolder, L"IStorage::Commit",
         [&](IUnknown* o) { return storage(o)->Commit(0); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.description);
        const ComPtr<IUnknown> object = ComTest::createRunning(*c.clsid);
        ComTest::clearErrorInfo();
        EXPECT_EQ(c.call(object.get()), E_NOTIMPL);
        const ErrorRecord error = takeErrorInfo();
        EXPECT_EQ(error.description, c.description);
        EXPECT_EQ(error.source, c.source);
        EXPECT_TRUE(IsEqualGUID(error.guid, *c.recorded));
        EXPECT_EQ(error.helpContext, 0u);
    }
}

} // namespace
