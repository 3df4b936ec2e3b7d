// Vornak.ScriptTools under Wine: what it passes on when Vornak's objects
// fail, a storage that is no handset folder listed, and the words for types,
// modes and times. tests/script/FolderListing.js lists handset folders
// through it as a script does.
#include "com/ComTest.h"
#include "vornak-tools/VornakTools.h"

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

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

    // What one of the methods that put numbers in words says of `value`.
    std::wstring words(HRESULT (STDMETHODCALLTYPE IScriptTools::*method)(ULONG, BSTR*), ULONG value)
    {
        Bstr text;
        EXPECT_EQ((tools_.get()->*method)(value, text.put()), S_OK);
        return text.get() != nullptr ? std::wstring(text.get()) : L"";
    }

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

    const struct {
        HRESULT result;
        const wchar_t* description;
    } refusals[] = {
        {tools_->ListRecursively(port.get(), listing.put()),
         L"ListRecursively takes a Vornak.TavoEFSFolder"},
        {tools_->ListElements(port.get(), listing.put()),
         L"ListElements takes a folder: a Vornak.TavoEFSFolder or another IStorage"},
        {tools_->Entry(folder.get(), 0, entry.put()),
         L"Entry takes a listing: a Vornak.TavoEFSEnum"},
    };
    // Each call above left its error information; only the last is kept.
    error = ComTest::takeErrorInfo();
    EXPECT_EQ(error.source, L"Vornak.ScriptTools.1");
    EXPECT_EQ(error.description, refusals[2].description);
    for (const auto& refusal : refusals) {
        EXPECT_EQ(refusal.result, E_INVALIDARG) << refusal.description;
    }
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
    using Entry = std::tuple<std::wstring, ULONG, ULONG, ULONG, DATE>;
    std::vector<Entry> entries;
    for (ULONG i = 0; i < 2; ++i) {
        ComPtr<IDispatch> made;
        ASSERT_EQ(tools_->Entry(listing.get(), i, made.put()), S_OK);
        const auto entry = query<IListingEntry>(made.get(), IID_IListingEntry);
        Bstr name;
        ULONG type = 9, mode = 0, size = 0;
        DATE modified = -1;
        ASSERT_EQ(entry->get_Name(name.put()), S_OK);
        ASSERT_EQ(entry->get_Type(&type), S_OK);
        ASSERT_EQ(entry->get_Mode(&mode), S_OK);
        ASSERT_EQ(entry->get_Size(&size), S_OK);
        ASSERT_EQ(entry->get_Modified(&modified), S_OK);
        entries.emplace_back(name.get(), type, mode, size, modified);
    }
    std::sort(entries.begin(), entries.end());
    // A stream keeps no times: 0, which is 1970-01-01, day 25569 of the dates.
    EXPECT_EQ(std::get<4>(entries[0]), 25569.0);
    std::get<4>(entries[0]) = std::get<4>(entries[1]) = 0;
    EXPECT_EQ(entries,
              (std::vector<Entry>{{L"notes", 0, 0x8000, 5, 0}, {L"sub", 1, 0x4000, 0, 0}}));
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
