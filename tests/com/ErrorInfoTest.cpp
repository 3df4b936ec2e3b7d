// The error-reporting routine and the boundary guard, called directly, and
// the error information that the classes' unsupported methods leave behind.
#include "vornak/ErrorInfo.h"
#include "com/ComTest.h"
#include "lang/Exception.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

using ComTest::ErrorRecord;
using ComTest::takeErrorInfo;
using Platform::ComPtr;

namespace {

class ErrorInfoTest : public ::testing::Test {
protected:
    void SetUp() override { ComTest::clearErrorInfo(); }
};

TEST_F(ErrorInfoTest, RecordsInterfaceSourceDescriptionAndHelp)
{
    EXPECT_EQ(Vornak::reportError(CLSID_TavoEFSFolder, "EFS2_DIAG_OPEN /x", 3, IID_IStorage,
                                  VORNAK_E_HANDSET),
              VORNAK_E_HANDSET);
    const ErrorRecord error = takeErrorInfo();
    ASSERT_TRUE(error.present);
    EXPECT_TRUE(IsEqualGUID(error.guid, IID_IStorage));
    EXPECT_EQ(error.source, L"Vornak.TavoEFSFolder.1");
    EXPECT_EQ(error.description, L"EFS2_DIAG_OPEN /x");
    EXPECT_EQ(error.helpContext, 3u);
    EXPECT_EQ(error.helpFile, L"");
}

TEST_F(ErrorInfoTest, HelpIsSetOnlyForANonZeroContext)
{
    EXPECT_EQ(Vornak::reportError(CLSID_TavoEFSEnum, "", 0, IID_IEnumSTATSTG, E_FAIL), E_FAIL);
    const ErrorRecord error = takeErrorInfo();
    ASSERT_TRUE(error.present);
    EXPECT_EQ(error.helpContext, 0u);
    EXPECT_FALSE(error.hasHelpFile);
}

TEST_F(ErrorInfoTest, ZeroBecomesDispatchExceptionWithTheInformationSet)
{
    EXPECT_EQ(Vornak::reportError(CLSID_TavoEFSEnum, "zero", 0, IID_IEnumSTATSTG, S_OK),
              DISP_E_EXCEPTION);
    EXPECT_EQ(takeErrorInfo().description, L"zero");
}

TEST_F(ErrorInfoTest, AClassWithoutProgIdLeavesTheSourceUnset)
{
    EXPECT_EQ(Vornak::reportError(IID_IStorage, "x", 0, IID_IStorage, E_FAIL), E_FAIL);
    const ErrorRecord error = takeErrorInfo();
    ASSERT_TRUE(error.present);
    EXPECT_FALSE(error.hasSource);
}

TEST_F(ErrorInfoTest, NarrowDescriptionsAreWindows1252)
{
    Vornak::reportError(CLSID_TavoEFSFile, "caf\xe9 \x80 \x9f", 0, IID_ITavoEFSFile, E_FAIL);
    EXPECT_EQ(takeErrorInfo().description, L"caf\u00e9 \u20ac \u0178");
}

ComPtr<IErrorInfo> makeErrorInfo(const wchar_t* description, DWORD helpContext)
{
    ComPtr<ICreateErrorInfo> created;
    EXPECT_EQ(CreateErrorInfo(created.put()), S_OK);
    std::wstring text = description;
    created->SetDescription(text.data());
    created->SetHelpContext(helpContext);
    ComPtr<IErrorInfo> info;
    created->QueryInterface(IID_IErrorInfo, info.putVoid());
    return info;
}

TEST_F(ErrorInfoTest, GuardSortsWhatTheBodyThrows)
{
    const Vornak::Boundary folder = {&CLSID_TavoEFSFolder, &IID_IStorage, VORNAK_E_UNEXPECTED};
    const Vornak::Boundary stream = {&CLSID_TavoEFSFile, &IID_ITavoEFSFile, E_FAIL};
    struct Case {
        const char* what;
        const Vornak::Boundary* boundary;
        std::function<HRESULT()> body;
        HRESULT result;
        bool recorded;
        std::wstring description;
        DWORD helpContext;
    };
    const Case cases[] = {
        {"success", &folder, [] { return S_FALSE; }, S_FALSE, false, L"", 0},
        {"protocol failure", &folder,
         []() -> HRESULT { throw CEFSException("EFS2_DIAG_OPENDIR /nvm", 3, 10, "x.cpp"); },
         VORNAK_E_HANDSET, true, L"EFS2_DIAG_OPENDIR /nvm", 3},
        {"COM error with information", &folder,
         []() -> HRESULT {
             throw _com_error(E_ACCESSDENIED, makeErrorInfo(L"port busy", 42).detach());
         },
         E_ACCESSDENIED, true, L"port busy", 42},
        {"COM error without information", &stream, []() -> HRESULT { throw _com_error(E_POINTER); },
         E_POINTER, true, L"", 0},
        {"COM error that is no failure", &stream, []() -> HRESULT { throw _com_error(S_FALSE); },
         S_FALSE, false, L"", 0},
        {"path error in a folder", &folder,
         []() -> HRESULT { throw Lang::Exception("bad path", "System/Path(1) : parse"); },
         VORNAK_E_UNEXPECTED, true, L"", 0},
        {"null pointer in a stream", &stream,
         []() -> HRESULT { throw Lang::NullPointerException(typeid(int)); }, E_FAIL, true, L"", 0},
        {"encoding error", &folder,
         []() -> HRESULT { throw std::invalid_argument("lone surrogate"); }, VORNAK_E_UNEXPECTED,
         true, L"", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ComTest::clearErrorInfo();
        EXPECT_EQ(Vornak::guard(*c.boundary, c.body), c.result);
        const ErrorRecord error = takeErrorInfo();
        ASSERT_EQ(error.present, c.recorded);
        if (c.recorded) {
            EXPECT_EQ(error.description, c.description);
            EXPECT_EQ(error.helpContext, c.helpContext);
            EXPECT_TRUE(IsEqualGUID(error.guid, *c.boundary->iid));
        }
    }
}

// Unsupported methods answer E_NOTIMPL and name themselves in the error
// information, for the interface that their class reports.
TEST_F(ErrorInfoTest, UnsupportedMethodsNameThemselves)
{
    using Call = std::function<HRESULT(IUnknown*)>;
    auto stream = [](HRESULT (*call)(IStream*)) {
        return Call(
            [call](IUnknown* o) { return call(ComTest::query<IStream>(o, IID_IStream).get()); });
    };
    auto storage = [](HRESULT (*call)(IStorage*)) {
        return Call(
            [call](IUnknown* o) { return call(ComTest::query<IStorage>(o, IID_IStorage).get()); });
    };
    const ULARGE_INTEGER zero = {};
    (void)zero;
    struct Case {
        const CLSID* clsid;
        const wchar_t* source;
        const IID* recorded;
        const wchar_t* description;
        Call call;
    };
    const Case cases[] = {
        {&CLSID_TavoEFSFile, L"Vornak.TavoEFSFile.1", &IID_ITavoEFSFile, L"IStream::Clone",
         stream([](IStream* s) {
             ComPtr<IStream> copy;
             return s->Clone(copy.put());
         })},
        {&CLSID_TavoEFSFile, L"Vornak.TavoEFSFile.1", &IID_ITavoEFSFile, L"IStream::SetSize",
         stream([](IStream* s) { return s->SetSize(ULARGE_INTEGER{}); })},
        {&CLSID_TavoEFSFile, L"Vornak.TavoEFSFile.1", &IID_ITavoEFSFile, L"IStream::Commit",
         stream([](IStream* s) { return s->Commit(0); })},
        {&CLSID_TavoEFSFile, L"Vornak.TavoEFSFile.1", &IID_ITavoEFSFile, L"IStream::Revert",
         stream([](IStream* s) { return s->Revert(); })},
        {&CLSID_TavoEFSFile, L"Vornak.TavoEFSFile.1", &IID_ITavoEFSFile, L"IStream::LockRegion",
         stream([](IStream* s) { return s->LockRegion(ULARGE_INTEGER{}, ULARGE_INTEGER{}, 0); })},
        {&CLSID_TavoEFSFile, L"Vornak.TavoEFSFile.1", &IID_ITavoEFSFile, L"IStream::UnlockRegion",
         stream([](IStream* s) { return s->UnlockRegion(ULARGE_INTEGER{}, ULARGE_INTEGER{}, 0); })},
        {&CLSID_TavoEFSFolder, L"Vornak.TavoEFSFolder.1", &IID_ITavoEFSFile, L"IStorage::Commit",
         storage([](IStorage* s) { return s->Commit(0); })},
        {&CLSID_TavoEFSFolder, L"Vornak.TavoEFSFolder.1", &IID_ITavoEFSFile, L"IStorage::Revert",
         storage([](IStorage* s) { return s->Revert(); })},
        {&CLSID_TavoEFSFolder, L"Vornak.TavoEFSFolder.1", &IID_ITavoEFSFile,
         L"IStorage::SetElementTimes",
         storage([](IStorage* s) { return s->SetElementTimes(L"x", nullptr, nullptr, nullptr); })},
        {&CLSID_TavoEFSFolder, L"Vornak.TavoEFSFolder.1", &IID_ITavoEFSFile, L"IStorage::SetClass",
         storage([](IStorage* s) { return s->SetClass(CLSID_NULL); })},
        {&CLSID_TavoEFSFolder, L"Vornak.TavoEFSFolder.1", &IID_ITavoEFSFile,
         L"IStorage::SetStateBits", storage([](IStorage* s) { return s->SetStateBits(1, 1); })},
        {&CLSID_TavoWinFolder, L"Vornak.TavoWinFolder.1", &IID_ITavoWinFolder, L"IStorage::Commit",
         storage([](IStorage* s) { return s->Commit(0); })},
        {&CLSID_TavoWinFolder, L"Vornak.TavoWinFolder.1", &IID_ITavoWinFolder, L"IStorage::Revert",
         storage([](IStorage* s) { return s->Revert(); })},
        {&CLSID_TavoWinFolder, L"Vornak.TavoWinFolder.1", &IID_ITavoWinFolder,
         L"IStorage::SetElementTimes",
         storage([](IStorage* s) { return s->SetElementTimes(L"x", nullptr, nullptr, nullptr); })},
        {&CLSID_TavoWinFolder, L"Vornak.TavoWinFolder.1", &IID_ITavoWinFolder,
         L"IStorage::SetClass", storage([](IStorage* s) { return s->SetClass(CLSID_NULL); })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.description, c.description + wcslen(c.description)));
        const ComPtr<IUnknown> object = ComTest::createRunning(*c.clsid);
        ASSERT_TRUE(object);
        ComTest::clearErrorInfo();
        EXPECT_EQ(c.call(object.get()), E_NOTIMPL);
        const ErrorRecord error = takeErrorInfo();
        ASSERT_TRUE(error.present);
        EXPECT_EQ(error.description, c.description);
        EXPECT_EQ(error.source, c.source);
        EXPECT_TRUE(IsEqualGUID(error.guid, *c.recorded));
        EXPECT_EQ(error.helpContext, 0u);
    }
}

} // namespace
