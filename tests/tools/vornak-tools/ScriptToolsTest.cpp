// Vornak.ScriptTools under Wine, called as scripts call it (through
// IDispatch, where they read what failed) and natively: listings of Vornak's
// folders on the emulated port and of any other storage, their entries, and
// the words for types, modes and times. Also the registration of every class
// of VornakTools.dll.
#include "com/ComTest.h"
#include "vornak-tools/VornakTools.h"

#include <algorithm>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using ComTest::query;
using Platform::Bstr;
using Platform::ComPtr;

Bstr bstr(const wchar_t* text)
{
    return Bstr(Platform::asUtf16(text));
}

std::wstring text(REFGUID guid)
{
    wchar_t buffer[39] = {};
    StringFromGUID2(guid, buffer, 39);
    return buffer;
}

// A string value under HKEY_CLASSES_ROOT; empty when key or value is missing.
std::wstring registryValue(const std::wstring& key, const wchar_t* name = nullptr)
{
    wchar_t buffer[512] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    const LSTATUS status =
        RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size);
    return status == ERROR_SUCCESS ? buffer : L"";
}

TEST(ToolsRegistration, NamesEveryClassItsModuleAndItsLibrary)
{
    const struct {
        const wchar_t* progId;
        const CLSID* clsid;
    } classes[] = {{L"Vornak.EmulatedPort", &CLSID_EmulatedPort},
                   {L"Vornak.SerialPort", &CLSID_SerialPort},
                   {L"Vornak.ScriptTools", &CLSID_ScriptTools}};
    for (const auto& c : classes) {
        const std::wstring progId = c.progId;
        EXPECT_EQ(registryValue(progId + L".1\\CLSID"), text(*c.clsid)) << progId;
        EXPECT_EQ(registryValue(progId + L"\\CurVer"), progId + L".1");
        const std::wstring key = L"CLSID\\" + text(*c.clsid);
        EXPECT_EQ(registryValue(key + L"\\InprocServer32", L"ThreadingModel"), L"Free") << progId;
        EXPECT_NE(registryValue(key + L"\\InprocServer32").find(L"VornakTools.dll"),
                  std::wstring::npos);
        EXPECT_EQ(registryValue(key + L"\\TypeLib"), text(LIBID_VornakToolsLib)) << progId;
    }
    EXPECT_EQ(registryValue(L"CLSID\\" + text(CLSID_ListingEntry)), L"") << "made by Entry only";
}

// One call through IDispatch, as a script engine makes it.
struct Call {
    HRESULT hr = E_FAIL;
    VARIANT result;
    EXCEPINFO exception = {};
    Call() { VariantInit(&result); }
    ~Call()
    {
        VariantClear(&result);
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;
};

class ScriptToolsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ComTest::clearErrorInfo();
        ASSERT_EQ(CoCreateInstance(CLSID_ScriptTools, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IScriptTools, tools_.putVoid()),
                  S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_EmulatedPort, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IEmulatedPort, port_.putVoid()),
                  S_OK);
    }
    void TearDown() override { EXPECT_EQ(tools_.detach()->Release(), 0u); }

    ComPtr<ITavoEFSFolder> folder(const wchar_t* path)
    {
        auto made = ComTest::create<ITavoEFSFolder>(CLSID_TavoEFSFolder, IID_ITavoEFSFolder);
        EXPECT_EQ(made->Connect(port_.get(), 5000, bstr(path).get(), 19), S_OK);
        return made;
    }
    // tools.<name>(object[, index]) through IDispatch.
    void invoke(const wchar_t* name, IUnknown* object, Call& call, std::optional<ULONG> index = {})
    {
        const auto dispatch = query<IDispatch>(tools_.get(), IID_IDispatch);
        DISPID id = DISPID_UNKNOWN;
        auto* names = const_cast<LPOLESTR>(name);
        ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, &names, 1, 0, &id), S_OK) << name;
        VARIANT arguments[2]; // in reverse order
        V_VT(&arguments[0]) = VT_UI4;
        V_UI4(&arguments[0]) = index.value_or(0);
        V_VT(&arguments[index ? 1 : 0]) = VT_UNKNOWN;
        V_UNKNOWN(&arguments[index ? 1 : 0]) = object;
        DISPPARAMS parameters = {arguments, nullptr, index ? 2u : 1u, 0};
        call.hr = dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &parameters, &call.result,
                                   &call.exception, nullptr);
    }
    // What one of the methods that put numbers in words says of `value`.
    std::wstring words(HRESULT (STDMETHODCALLTYPE IScriptTools::*method)(ULONG, BSTR*), ULONG value)
    {
        Bstr text;
        EXPECT_EQ((tools_.get()->*method)(value, text.put()), S_OK);
        return text.get() != nullptr ? std::wstring(text.get()) : L"";
    }

    ComPtr<IScriptTools> tools_;
    ComPtr<IEmulatedPort> port_;
};

// A failing folder's HRESULT, description and help context reach the
// script's error object; so do the enumerator's.
TEST_F(ScriptToolsTest, PassesOnWhatTheFolderAndTheListingSayWhenTheyFail)
{
    const auto missing = folder(L"/none");
    Call listing;
    invoke(L"ListRecursively", missing.get(), listing);
    EXPECT_EQ(listing.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(listing.exception.scode, VORNAK_TOOLS_E_HANDSET);
    EXPECT_EQ(std::wstring(listing.exception.bstrDescription).rfind(L"/none ", 0), 0u);
    EXPECT_EQ(listing.exception.dwHelpContext, 3u); // ENOENT
    EXPECT_EQ(std::wstring(listing.exception.bstrSource), L"Vornak.TavoEFSFolder.1");

    ASSERT_EQ(port_->MakeDirectory(bstr(L"/d").get()), S_OK);
    ComPtr<IDispatch> found;
    ASSERT_EQ(tools_->ListRecursively(folder(L"/").get(), found.put()), S_OK);
    Call beyond;
    invoke(L"Entry", found.get(), beyond, 1);
    EXPECT_EQ(beyond.exception.scode, VORNAK_TOOLS_E_HANDSET);
    EXPECT_EQ(beyond.exception.dwHelpContext, 532u); // an index not below Count

    // What is no folder or listing is refused in words.
    const struct {
        const wchar_t* method;
        IUnknown* argument;
        const wchar_t* description;
    } refusals[] = {
        {L"ListRecursively", port_.get(), L"ListRecursively takes a Vornak.TavoEFSFolder"},
        {L"ListElements", port_.get(),
         L"ListElements takes a folder: a Vornak.TavoEFSFolder or another IStorage"},
        {L"Entry", missing.get(), L"Entry takes a listing: a Vornak.TavoEFSEnum"},
    };
    for (const auto& r : refusals) {
        Call call;
        invoke(r.method, r.argument, call,
               std::wstring_view(r.method) == L"Entry" ? std::optional<ULONG>(0) : std::nullopt);
        EXPECT_EQ(call.exception.scode, E_INVALIDARG) << r.method;
        EXPECT_EQ(std::wstring(call.exception.bstrDescription), r.description);
        EXPECT_EQ(std::wstring(call.exception.bstrSource), L"Vornak.ScriptTools.1");
    }
}

TEST_F(ScriptToolsTest, ReadsTheEntriesOfAHandsetListing)
{
    ASSERT_EQ(port_->PutText(bstr(L"/nvm/mdn").get(), bstr(L"5551234").get()), S_OK);
    ComPtr<IDispatch> listing;
    ASSERT_EQ(tools_->ListRecursively(folder(L"/").get(), listing.put()), S_OK);
    LONG count = -1;
    ASSERT_EQ(query<ITavoEFSEnum>(listing.get(), IID_ITavoEFSEnum)->get_Count(&count), S_OK);
    ASSERT_EQ(count, 2);

    ComPtr<IDispatch> made;
    ASSERT_EQ(tools_->Entry(listing.get(), 1, made.put()), S_OK);
    const auto entry = query<IListingEntry>(made.get(), IID_IListingEntry);
    listing.reset(); // the entry holds its own copy
    Bstr name;
    ASSERT_EQ(entry->get_Name(name.put()), S_OK);
    EXPECT_EQ(name.text(), u"/nvm/mdn");
    ULONG type = 9, mode = 0, size = 0, modified = 0, created = 0;
    ASSERT_EQ(entry->get_Type(&type), S_OK);
    ASSERT_EQ(entry->get_Mode(&mode), S_OK);
    ASSERT_EQ(entry->get_Size(&size), S_OK);
    ASSERT_EQ(entry->get_ModificationTime(&modified), S_OK);
    ASSERT_EQ(entry->get_CreationTime(&created), S_OK);
    EXPECT_EQ(type, 0u);
    EXPECT_EQ(mode & 0xF000, 0x8000u);
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(created, modified);
    VARIANT_BOOL directory = VARIANT_TRUE;
    ASSERT_EQ(entry->get_IsDirectory(&directory), S_OK);
    EXPECT_EQ(directory, VARIANT_FALSE);
    DATE date = 0;
    ASSERT_EQ(entry->get_Modified(&date), S_OK);
    EXPECT_NEAR(date, 25569.0 + modified / 86400.0, 1.0 / 86400); // days since 1899-12-30

    // The entry's value is its name, for scripts that print it whole.
    VARIANT value;
    VariantInit(&value);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    ASSERT_EQ(made->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr,
                           nullptr),
              S_OK);
    EXPECT_EQ(std::wstring(V_BSTR(&value)), L"/nvm/mdn");
    VariantClear(&value);
}

// A storage that is no handset folder (here a compound file in memory) has
// its elements copied into a TavoEFSEnum.
TEST_F(ScriptToolsTest, ListsTheElementsOfAnyStorage)
{
    ComPtr<ILockBytes> bytes;
    ASSERT_EQ(CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.put()), S_OK);
    ComPtr<IStorage> storage;
    ASSERT_EQ(StgCreateDocfileOnILockBytes(bytes.get(),
                                           STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                           storage.put()),
              S_OK);
    ComPtr<IStream> stream;
    ASSERT_EQ(storage->CreateStream(L"notes", STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                    stream.put()),
              S_OK);
    ASSERT_EQ(stream->Write("12345", 5, nullptr), S_OK);
    stream.reset();
    ComPtr<IStorage> sub;
    ASSERT_EQ(storage->CreateStorage(L"sub", STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                     sub.put()),
              S_OK);
    sub.reset();

    ComPtr<IDispatch> listing;
    ASSERT_EQ(tools_->ListElements(storage.get(), listing.put()), S_OK);
    LONG count = -1;
    ASSERT_EQ(query<ITavoEFSEnum>(listing.get(), IID_ITavoEFSEnum)->get_Count(&count), S_OK);
    ASSERT_EQ(count, 2);
    std::vector<std::tuple<std::wstring, ULONG, ULONG, ULONG>> entries;
    for (ULONG i = 0; i < 2; ++i) {
        ComPtr<IDispatch> made;
        ASSERT_EQ(tools_->Entry(listing.get(), i, made.put()), S_OK);
        const auto entry = query<IListingEntry>(made.get(), IID_IListingEntry);
        Bstr name;
        ULONG type = 9, mode = 0, size = 0;
        ASSERT_EQ(entry->get_Name(name.put()), S_OK);
        ASSERT_EQ(entry->get_Type(&type), S_OK);
        ASSERT_EQ(entry->get_Mode(&mode), S_OK);
        ASSERT_EQ(entry->get_Size(&size), S_OK);
        entries.emplace_back(name.get(), type, mode, size);
    }
    std::sort(entries.begin(), entries.end());
    using Entry = std::tuple<std::wstring, ULONG, ULONG, ULONG>;
    EXPECT_EQ(entries, (std::vector<Entry>{{L"notes", 0, 0x8000, 5}, {L"sub", 1, 0x4000, 0}}));
}

TEST_F(ScriptToolsTest, SaysTypesModesAndTimesInWords)
{
    const std::pair<ULONG, const wchar_t*> types[] = {
        {0, L"file"}, {1, L"directory"}, {2, L"link"}, {7, L"type 7"}};
    for (const auto& [type, expected] : types) {
        EXPECT_EQ(words(&IScriptTools::TypeName, type), expected);
    }
    const std::pair<ULONG, const wchar_t*> modes[] = {{040755, L"drwxr-xr-x"},
                                                      {0100640, L"-rw-r-----"},
                                                      {0120777, L"lrwxrwxrwx"},
                                                      {0, L"?---------"}};
    for (const auto& [mode, expected] : modes) {
        EXPECT_EQ(words(&IScriptTools::ModeText, mode), expected);
    }
    const std::pair<ULONG, const wchar_t*> times[] = {{0, L"1970-01-01 00:00:00"},
                                                      {1714566896, L"2024-05-01 12:34:56"},
                                                      {0xFFFFFFFF, L"2106-02-07 06:28:15"}};
    for (const auto& [seconds, expected] : times) {
        EXPECT_EQ(words(&IScriptTools::TimeText, seconds), expected);
    }
}

} // namespace
