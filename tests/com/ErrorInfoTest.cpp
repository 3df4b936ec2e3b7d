// The error-reporting routine and the boundary guard, called directly, and
// the error information that unsupported methods of the classes leave.
#include "vornak/ErrorInfo.h"
#include "com/ComTest.h"
#include "lang/Exception.h"

#include <functional>
#include <stdexcept>
#include <string>

using ComTest::ErrorRecord;
using ComTest::takeErrorInfo;
using Platform::ComPtr;

namespace {

TEST(ErrorInfo, RoutineRecordsWhatItIsGiven)
{
    struct Case {
        const CLSID* clsid;
        const char* description;
        DWORD helpContext;
        HRESULT given, returned;
        const wchar_t* source; // null: left unset
        const wchar_t* recorded;
    };
    const Case cases[] = {
        {&CLSID_TavoEFSFolder, "EFS2_DIAG_OPEN /x", 3, VORNAK_E_HANDSET, VORNAK_E_HANDSET,
         L"Vornak.TavoEFSFolder.1", L"EFS2_DIAG_OPEN /x"},
        {&CLSID_TavoEFSEnum, "zero", 0, S_OK, DISP_E_EXCEPTION, L"Vornak.TavoEFSEnum.1", L"zero"},
        {&IID_IStorage, "no ProgID", 0, E_FAIL, E_FAIL, nullptr, L"no ProgID"},
        {&CLSID_TavoEFSFile, "caf\xe9 \x80 \x9f", 0, E_FAIL, E_FAIL, L"Vornak.TavoEFSFile.1",
         L"caf\u00e9 \u20ac \u0178"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        ComTest::clearErrorInfo();
        EXPECT_EQ(
            Vornak::reportError(*c.clsid, c.description, c.helpContext, IID_IStorage, c.given),
            c.returned);
        const ErrorRecord error = takeErrorInfo();
        ASSERT_TRUE(error.present);
        EXPECT_TRUE(IsEqualGUID(error.guid, IID_IStorage));
        EXPECT_EQ(error.hasSource, c.source != nullptr);
        EXPECT_EQ(error.source, c.source != nullptr ? c.source : L"");
        EXPECT_EQ(error.description, c.recorded);
        EXPECT_EQ(error.helpContext, c.helpContext);
        EXPECT_EQ(error.hasHelpFile, c.helpContext != 0) << "help only with a help context";
    }
}

ComPtr<IErrorInfo> makeErrorInfo(const wchar_t* description, DWORD helpContext)
{
    ComPtr<ICreateErrorInfo> created;
    EXPECT_EQ(CreateErrorInfo(created.put()), S_OK);
    std::wstring text = description;
    created->SetDescription(text.data());
    created->SetHelpContext(helpContext);
    return ComTest::query<IErrorInfo>(created.get(), IID_IErrorInfo);
}

TEST(ErrorInfo, GuardSortsWhatTheBodyThrows)
{
    const Vornak::Boundary folder = {&CLSID_TavoEFSFolder, &IID_IStorage, VORNAK_E_UNEXPECTED};
    const Vornak::Boundary stream = {&CLSID_TavoEFSFile, &IID_ITavoEFSFile, E_FAIL};
    struct Case {
        const char* what;
        const Vornak::Boundary* boundary;
        std::function<HRESULT()> body;
        HRESULT result;
        const wchar_t* description; // null: nothing recorded
        DWORD helpContext;
    };
    const Case cases[] = {
        {"success", &folder, [] { return S_FALSE; }, S_FALSE, nullptr, 0},
        {"protocol failure", &folder,
         []() -> HRESULT { throw CEFSException("EFS2_DIAG_OPENDIR /nvm", 3, 10, "x.cpp"); },
         VORNAK_E_HANDSET, L"EFS2_DIAG_OPENDIR /nvm", 3},
        {"COM error with information", &folder,
         []() -> HRESULT {
             throw _com_error(E_ACCESSDENIED, makeErrorInfo(L"port busy", 42).detach());
         },
         E_ACCESSDENIED, L"port busy", 42},
        {"COM error without information", &stream, []() -> HRESULT { throw _com_error(E_POINTER); },
         E_POINTER, L"", 0},
        {"COM error that is no failure", &stream, []() -> HRESULT { throw _com_error(S_FALSE); },
         S_FALSE, nullptr, 0},
        {"path error in a folder", &folder,
         []() -> HRESULT { throw Lang::Exception("bad path", "System/Path(1) : parse"); },
         VORNAK_E_UNEXPECTED, L"", 0},
        {"null pointer in a stream", &stream,
         []() -> HRESULT { throw Lang::NullPointerException(typeid(int)); }, E_FAIL, L"", 0},
        {"encoding error", &folder, []() -> HRESULT { throw std::invalid_argument("surrogate"); },
         VORNAK_E_UNEXPECTED, L"", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ComTest::clearErrorInfo();
        EXPECT_EQ(Vornak::guard(*c.boundary, c.body), c.result);
        const ErrorRecord error = takeErrorInfo();
        ASSERT_EQ(error.present, c.description != nullptr);
        if (error.present) {
            EXPECT_EQ(error.description, c.description);
            EXPECT_EQ(error.helpContext, c.helpContext);
            EXPECT_TRUE(IsEqualGUID(error.guid, *c.boundary->iid));
        }
    }
}

// Each class records the interface it reports for, which for the folder is
// the file stream's.
TEST(ErrorInfo, UnsupportedMethodsNameThemselves)
{
    struct Case {
        const CLSID* clsid;
        const wchar_t* source;
        const IID* recorded;
        const wchar_t* description;
        std::function<HRESULT(IUnknown*)> call;
    };
    const auto storageCommit = [](IUnknown* o) {
        return ComTest::query<IStorage>(o, IID_IStorage)->Commit(0);
    };
    const Case cases[] = {
        {&CLSID_TavoEFSFile, L"Vornak.TavoEFSFile.1", &IID_ITavoEFSFile, L"IStream::Clone",
         [](IUnknown* o) {
             IStream* copy = nullptr;
             return ComTest::query<IStream>(o, IID_IStream)->Clone(&copy);
         }},
        {&CLSID_TavoEFSFolder, L"Vornak.TavoEFSFolder.1", &IID_ITavoEFSFile, L"IStorage::Commit",
         storageCommit},
        {&CLSID_TavoEFSFolder, L"Vornak.TavoEFSFolder.1", &IID_ITavoEFSFile,
         L"IStorage::SetStateBits",
         [](IUnknown* o) { return ComTest::query<IStorage>(o, IID_IStorage)->SetStateBits(1, 1); }},
        {&CLSID_TavoWinFolder, L"Vornak.TavoWinFolder.1", &IID_ITavoWinFolder, L"IStorage::Commit",
         storageCommit},
    };
    for (const Case& c : cases) {
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
