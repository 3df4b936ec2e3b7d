// IDispatch of the dual interfaces, served from the registered type library.
#include "com/ComTest.h"

#include <string>
#include <vector>

using ComTest::CountedPort;

namespace {

DISPID idOf(IDispatch* object, const wchar_t* name)
{
    std::wstring text = name;
    LPOLESTR names[] = {text.data()};
    DISPID id = 0;
    const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    return hr == S_OK ? id : static_cast<DISPID>(hr);
}

// Invokes `id` with `arguments` in the order of the method's parameters.
HRESULT invoke(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT> arguments,
               VARIANT* result, EXCEPINFO* exception = nullptr)
{
    std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
    DISPPARAMS parameters = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    UINT argumentError = 0;
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters, result, exception,
                          &argumentError);
}

VARIANT number(LONG value)
{
    VARIANT v;
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
}

VARIANT text(BSTR value)
{
    VARIANT v;
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = value;
    return v;
}

TEST(Dispatch, NamesMapToTheirDispatchIdentifiers)
{
    struct Case {
        const CLSID* clsid;
        const wchar_t* name;
        DISPID id;
    };
    const Case cases[] = {
        {&CLSID_TavoEFSFolder, L"Connect", 1},
        {&CLSID_TavoEFSFolder, L"path", 2},
        {&CLSID_TavoEFSFolder, L"RecursiveDirList", 3},
        {&CLSID_TavoEFSFolder, L"recursiveDIRLIST", 3},
        {&CLSID_TavoEFSFolder, L"Commit", DISP_E_UNKNOWNNAME},
        {&CLSID_TavoEFSEnum, L"Count", 4},
        {&CLSID_TavoEFSEnum, L"GetEntry", 5},
        {&CLSID_TavoEFSFile, L"Connect", 1},
        {&CLSID_TavoWinFolder, L"OpenAbsPath", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.name);
        const auto object = ComTest::create<IDispatch>(*c.clsid, IID_IDispatch);
        EXPECT_EQ(idOf(object.get(), c.name), c.id);
    }
}

TEST(Dispatch, AFolderIsConnectedAndAnswersItsPath)
{
    const auto folder = ComTest::create<IDispatch>(CLSID_TavoEFSFolder, IID_IDispatch);
    CountedPort notAPort(CountedPort::Kind::NotAPort);
    VARIANT port;
    V_VT(&port) = VT_UNKNOWN;
    V_UNKNOWN(&port) = &notAPort;
    const Platform::Bstr path(u"/nvm/");
    ASSERT_EQ(invoke(folder.get(), 1, DISPATCH_METHOD,
                     {port, number(500), text(path.get()), number(0)}, nullptr),
              S_OK);
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(invoke(folder.get(), 2, DISPATCH_PROPERTYGET, {}, &result), S_OK);
    ASSERT_EQ(V_VT(&result), VT_BSTR);
    EXPECT_EQ(std::wstring(V_BSTR(&result)), L"/nvm/");
    VariantClear(&result);
}

} // namespace
