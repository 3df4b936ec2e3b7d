// IDispatch of the dual interfaces, served from the registered type library.
#include "com/ComTest.h"

#include <gtest/gtest.h>

#include <string>

using ComTest::CountedPort;
using Platform::ComPtr;

namespace {

DISPID idOf(IDispatch* object, const wchar_t* name)
{
    std::wstring text = name;
    LPOLESTR names[] = {text.data()};
    DISPID id = 12345;
    const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    return hr == S_OK ? id : static_cast<DISPID>(hr);
}

// Invokes `id` with `arguments` given in the order of the method's parameters.
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
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
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
        {&CLSID_TavoEFSFolder, L"RECURSIVEdirlist", 3},
        {&CLSID_TavoEFSFolder, L"Commit", DISP_E_UNKNOWNNAME},
        {&CLSID_TavoEFSEnum, L"AddEntry", 1},
        {&CLSID_TavoEFSEnum, L"count", 4},
        {&CLSID_TavoEFSEnum, L"GetEntry", 5},
        {&CLSID_TavoEFSFile, L"Connect", 1},
        {&CLSID_TavoWinFolder, L"Path", 1},
        {&CLSID_TavoWinFolder, L"OpenAbsPath", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::string(c.name, c.name + wcslen(c.name)));
        const auto object = ComTest::create<IDispatch>(*c.clsid, IID_IDispatch);
        ASSERT_TRUE(object);
        EXPECT_EQ(idOf(object.get(), c.name), c.id);
    }
}

TEST(Dispatch, TypeInformationIsTheDualInterface)
{
    const auto folder = ComTest::create<IDispatch>(CLSID_TavoEFSFolder, IID_IDispatch);
    UINT count = 0;
    ASSERT_EQ(folder->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(folder->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put()), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_ITavoEFSFolder));
    EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FDUAL);
    info->ReleaseTypeAttr(attributes);
    EXPECT_EQ(folder->GetTypeInfo(1, LOCALE_USER_DEFAULT, info.put()), DISP_E_BADINDEX);
}

TEST(Dispatch, AConnectedFolderAnswersItsPath)
{
    const auto folder = ComTest::create<IDispatch>(CLSID_TavoEFSFolder, IID_IDispatch);
    ASSERT_TRUE(folder);
    CountedPort notAPort(CountedPort::Kind::NotAPort);
    VARIANT port;
    V_VT(&port) = VT_UNKNOWN;
    V_UNKNOWN(&port) = &notAPort;
    VARIANT path;
    V_VT(&path) = VT_BSTR;
    V_BSTR(&path) = SysAllocString(L"/nvm/");
    ASSERT_EQ(
        invoke(folder.get(), 1, DISPATCH_METHOD, {port, number(500), path, number(0)}, nullptr),
        S_OK);
    SysFreeString(V_BSTR(&path));

    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(invoke(folder.get(), 2, DISPATCH_PROPERTYGET, {}, &result), S_OK);
    ASSERT_EQ(V_VT(&result), VT_BSTR);
    EXPECT_EQ(std::wstring(V_BSTR(&result)), L"/nvm/");
    VariantClear(&result);
}

TEST(Dispatch, AnEnumeratorIsFilledAndCountedThroughDispatch)
{
    const auto list = ComTest::create<IDispatch>(CLSID_TavoEFSEnum, IID_IDispatch);
    ASSERT_TRUE(list);
    VARIANT name;
    V_VT(&name) = VT_BSTR;
    V_BSTR(&name) = SysAllocString(L"/a");
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(
            invoke(list.get(), 1, DISPATCH_METHOD,
                   {name, number(0), number(0644), number(5), number(1), number(2), number(3)},
                   nullptr),
            S_OK);
    }
    SysFreeString(V_BSTR(&name));

    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception = {};
    EXPECT_EQ(invoke(list.get(), 4, DISPATCH_PROPERTYGET, {}, &result, &exception),
              DISP_E_EXCEPTION)
        << "Count before the list is closed";
    EXPECT_EQ(exception.scode, VORNAK_E_HANDSET);
    EXPECT_EQ(exception.dwHelpContext, 529u);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);

    ASSERT_EQ(invoke(list.get(), 2, DISPATCH_METHOD, {}, nullptr), S_OK);
    ASSERT_EQ(invoke(list.get(), 4, DISPATCH_PROPERTYGET, {}, &result), S_OK);
    EXPECT_EQ(V_VT(&result), VT_I4);
    EXPECT_EQ(V_I4(&result), 2);
}

} // namespace
