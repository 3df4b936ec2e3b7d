// IDispatch of the dual interfaces, served from the registered type library.
// Invoke itself is shown by tests/script/FolderListing.js (Connect, path) and
// by the emulated port's test (Connect from a script's apartment).
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

} // namespace
