// Vornak.ScriptTools under Wine: what it passes on when Vornak's objects
// fail, a storage that is no handset folder listed, and the words for types,
// modes and times. tests/script/FolderListing.js lists handset folders
// through it as a script does.
#include "support/ComTest.h"
#include "vornak-tools/VornakTools.h"

#include <map>
#include <string>
#include <tuple>

namespace {

using ComTest::query;
using Platform::Bstr;
using Platform::ComPtr;

class ScriptToolsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ComTest::clearErrorInfo();
        ASSERT_EQ(CoCreateInstance(CLSID_ScriptTools, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IScriptTools, tools_.putVoid()),
                  S_OK);
    }
    void TearDown() override { EXPECT_EQ(tools_.detach()->Release(), 0u); }

    ComPtr<IScriptTools> tools_;
};

// The folder's and the enumerator's HRESULT, description and help context
// reach the caller unchanged; what is no folder or listing is refused.
TEST_F(ScriptToolsTest, PassesOnWhatTheFolderAndTheListingSay)
{
    ComPtr<IEmulatedPort> port;
    ASSERT_EQ(CoCreateInstance(CLSID_EmulatedPort, nullptr, CLSCTX_INPROC_SERVER, IID_IEmulatedPort,
                               port.putVoid()),
              S_OK);
    const auto folder = ComTest::create<ITavoEFSFolder>(CLSID_TavoEFSFolder, IID_ITavoEFSFolder);
    ASSERT_EQ(folder->Connect(port.get(), 5000, Bstr(u"/none").get(), 19), S_OK);
    ComPtr<IDispatch> listing;
    EXPECT_EQ(tools_->ListRecursively(folder.get(), listing.put()), VORNAK_TOOLS_E_HANDSET);
    ComTest::ErrorRecord error = ComTest::takeErrorInfo();
    EXPECT_EQ(error.description.rfind(L"/none ", 0), 0u) << error.description;
    EXPECT_EQ(error.helpContext, 3u); // ENOENT
    EXPECT_EQ(error.source, L"Vornak.TavoEFSFolder.1");

    ASSERT_EQ(folder->Connect(port.get(), 5000, Bstr(u"/").get(), 19), S_OK);
    ASSERT_EQ(tools_->ListRecursively(folder.get(), listing.put()), S_OK);
    ComPtr<IDispatch> entry;
    EXPECT_EQ(tools_->Entry(listing.get(), 0, entry.put()), VORNAK_TOOLS_E_HANDSET);
    EXPECT_EQ(ComTest::takeErrorInfo().helpContext, 532u); // an index not below Count

    // What is no folder or listing is refused with words on what it takes.
    EXPECT_EQ(tools_->ListRecursively(port.get(), listing.put()), E_INVALIDARG);
    EXPECT_EQ(tools_->ListElements(port.get(), listing.put()), E_INVALIDARG);
    EXPECT_EQ(tools_->Entry(folder.get(), 0, entry.put()), E_INVALIDARG);
    error = ComTest::takeErrorInfo();
    EXPECT_EQ(error.source, L"Vornak.ScriptTools.1");
    EXPECT_EQ(error.description, L"Entry takes a listing: a Vornak.TavoEFSEnum");
}

// Here a compound file in memory: its elements are copied into a TavoEFSEnum.
TEST_F(ScriptToolsTest, ListsTheElementsOfAnyStorage)
{
    ComPtr<ILockBytes> bytes;
    ASSERT_EQ(CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.put()), S_OK);
    ComPtr<IStorage> storage;
    constexpr DWORD kCreate = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
    ASSERT_EQ(StgCreateDocfileOnILockBytes(bytes.get(), kCreate, 0, storage.put()), S_OK);
    ComPtr<IStream> stream;
    ASSERT_EQ(storage->CreateStream(L"notes", kCreate, 0, 0, stream.put()), S_OK);
    ASSERT_EQ(stream->Write("12345", 5, nullptr), S_OK);
    ComPtr<IStorage> sub;
    ASSERT_EQ(storage->CreateStorage(L"sub", kCreate, 0, 0, sub.put()), S_OK);

    ComPtr<IDispatch> listing;
    ASSERT_EQ(tools_->ListElements(storage.get(), listing.put()), S_OK);
    LONG count = -1;
    ASSERT_EQ(query<ITavoEFSEnum>(listing.get(), IID_ITavoEFSEnum)->get_Count(&count), S_OK);
    ASSERT_EQ(count, 2);
    using Entry = std::tuple<ULONG, ULONG, DATE>; // type, size, modified
    std::map<std::wstring, Entry> entries;
    for (ULONG i = 0; i < 2; ++i) {
        ComPtr<IDispatch> made;
        ASSERT_EQ(tools_->Entry(listing.get(), i, made.put()), S_OK);
        const auto entry = query<IListingEntry>(made.get(), IID_IListingEntry);
        Bstr name;
        Entry values{9, 99, -1};
        ASSERT_EQ(entry->get_Name(name.put()), S_OK);
        ASSERT_EQ(entry->get_Type(&std::get<0>(values)), S_OK);
        ASSERT_EQ(entry->get_Size(&std::get<1>(values)), S_OK);
        ASSERT_EQ(entry->get_Modified(&std::get<2>(values)), S_OK);
        entries[name.get()] = values;
    }
    // A stream keeps no times: 0, which is 1970-01-01, day 25569 of the dates.
    EXPECT_EQ(entries[L"notes"], Entry(0, 5, 25569.0));
    EXPECT_EQ(std::get<0>(entries[L"sub"]), 1u);
    EXPECT_EQ(std::get<1>(entries[L"sub"]), 0u);
}

TEST_F(ScriptToolsTest, SaysTypesModesAndTimesInWords)
{
    using Method = HRESULT (STDMETHODCALLTYPE IScriptTools::*)(ULONG, BSTR*);
    const struct {
        Method method;
        ULONG value;
        const wchar_t* words;
    } cases[] = {
        {&IScriptTools::TypeName, 1, L"directory"},
        {&IScriptTools::TypeName, 7, L"type 7"},
        {&IScriptTools::ModeText, 040755, L"drwxr-xr-x"},
        {&IScriptTools::ModeText, 0120777, L"lrwxrwxrwx"},
        {&IScriptTools::ModeText, 0, L"?---------"},
        {&IScriptTools::TimeText, 1714566896, L"2024-05-01 12:34:56"},
        {&IScriptTools::TimeText, 0xFFFFFFFF, L"2106-02-07 06:28:15"},
    };
    for (const auto& c : cases) {
        Bstr text;
        ASSERT_EQ((tools_.get()->*c.method)(c.value, text.put()), S_OK) << c.words;
        EXPECT_EQ(std::wstring(text.get()), c.words);
    }
}

} // namespace
