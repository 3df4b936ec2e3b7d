// IDispatch of the dual interfaces, served from the registered type library.
#include "support/ComTest.h"

#include <string>

namespace {

TEST(Dispatch, NamesMapToTheirDispatchIdentifiers)
{
    const struct {
        const CLSID* clsid;
        const wchar_t* name;
        DISPID id;
    } cases[] = {
        {&CLSID_TavoEFSFolder, L"RecursiveDirList", 3},
        {&CLSID_TavoEFSFolder, L"recursiveDIRLIST", 3},
        {&CLSID_TavoEFSFolder, L"Commit", DISP_E_UNKNOWNNAME}, // IStorage is no dual interface
        {&CLSID_TavoEFSEnum, L"Count", 4},
        {&CLSID_TavoWinFolder, L"OpenAbsPath", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.name);
        const auto object = ComTest::create<IDispatch>(*c.clsid, IID_IDispatch);
        std::wstring text = c.name;
        LPOLESTR names[] = {text.data()};
        DISPID id = 0;
        const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        EXPECT_EQ(hr == S_OK ? id : hr, c.id);
    }
}

TEST(Dispatch, AFolderIsConnectedAndAnswersItsPath)
{
    const auto folder = ComTest::create<IDispatch>(CLSID_TavoEFSFolder, IID_IDispatch);
    ComTest::CountedPort notAPort(ComTest::CountedPort::Kind::NotAPort);
    const Platform::Bstr path(u"/nvm/");
    // Connect(port, 500, "/nvm/", 0), the arguments last first.
    VARIANT arguments[4];
    V_VT(&arguments[0]) = VT_I4;
    V_I4(&arguments[0]) = 0;
    V_VT(&arguments[1]) = VT_BSTR;
    V_BSTR(&arguments[1]) = path.get();
    V_VT(&arguments[2]) = VT_I4;
    V_I4(&arguments[2]) = 500;
    V_VT(&arguments[3]) = VT_UNKNOWN;
    V_UNKNOWN(&arguments[3]) = &notAPort;
    DISPPARAMS connect = {arguments, nullptr, 4, 0};
    ASSERT_EQ(folder->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &connect, nullptr,
                             nullptr, nullptr),
              S_OK);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(folder->Invoke(2, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result,
                             nullptr, nullptr),
              S_OK);
    ASSERT_EQ(V_VT(&result), VT_BSTR);
    EXPECT_EQ(std::wstring(V_BSTR(&result)), L"/nvm/");
    VariantClear(&result);
}

} // namespace
