// A folder of the host computer through ITavoWinFolder and IStorage.
#include "com/StorageTest.h"

#include <cstring>
#include <functional>

using Platform::Bstr;
using Platform::ComPtr;
using StorageTest::HostFolder;

namespace {

class WinFolderTest : public ::testing::Test {
protected:
    HRESULT openAbsolute(const std::wstring& path, ULONG mode = 0)
    {
        return folder_->OpenAbsPath(Bstr(asText(path)).get(), mode);
    }
    std::wstring path()
    {
        Bstr text;
        EXPECT_EQ(folder_->get_path(text.put()), S_OK);
        return text.get() != nullptr ? text.get() : L"<null>";
    }
    static std::u16string asText(const std::wstring& text)
    {
        return Platform::toU16String(text.c_str());
    }

    ComPtr<ITavoWinFolder> folder_ =
        ComTest::create<ITavoWinFolder>(CLSID_TavoWinFolder, IID_ITavoWinFolder);
    ComPtr<IStorage> storage_ = ComTest::query<IStorage>(folder_.get(), IID_IStorage);
    HostFolder host_;
};

TEST_F(WinFolderTest, AnAbsolutePathIsKeptWithItsSeparatorAndNamesTheFolder)
{
    Bstr text;
    EXPECT_EQ(folder_->get_path(text.put()), E_INVALIDARG) << "not open";
    EXPECT_EQ(folder_->get_path(nullptr), E_POINTER);
    ASSERT_EQ(openAbsolute(host_.path(), STGM_READWRITE), S_OK);
    const std::wstring stored = host_.path() + L"\\";
    EXPECT_EQ(path(), stored);
    EXPECT_EQ(openAbsolute(L"C:\\"), E_INVALIDARG) << "open already";
    EXPECT_EQ(path(), stored);

    STATSTG stat;
    std::memset(&stat, 0xCD, sizeof stat);
    ASSERT_EQ(storage_->Stat(&stat, STATFLAG_DEFAULT), S_OK);
    EXPECT_EQ(Platform::toU16String(stat.pwcsName), asText(stored));
    CoTaskMemFree(stat.pwcsName);
    WIN32_FIND_DATAW found = {};
    FindClose(FindFirstFileW(host_.path().c_str(), &found));
    EXPECT_EQ(stat.type, static_cast<DWORD>(STGTY_STORAGE));
    EXPECT_EQ(stat.cbSize.QuadPart, 0u);
    EXPECT_EQ(std::memcmp(&stat.mtime, &found.ftLastWriteTime, sizeof(FILETIME)), 0);
    EXPECT_EQ(std::memcmp(&stat.ctime, &found.ftCreationTime, sizeof(FILETIME)), 0);
    EXPECT_EQ(std::memcmp(&stat.atime, &found.ftLastAccessTime, sizeof(FILETIME)), 0);
    EXPECT_EQ(stat.grfMode, static_cast<DWORD>(STGM_READWRITE));
    EXPECT_EQ(stat.grfLocksSupported, 0u);
    EXPECT_TRUE(IsEqualGUID(stat.clsid, GUID_NULL));
    EXPECT_EQ(stat.reserved, 0xCDCDCDCDu) << "reserved is not written";
    ASSERT_EQ(storage_->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.pwcsName, nullptr);

    EXPECT_EQ(folder_->Close(), S_OK);
    EXPECT_EQ(folder_->get_path(text.put()), E_INVALIDARG);
    EXPECT_EQ(storage_->Stat(&stat, STATFLAG_DEFAULT), E_INVALIDARG);
    EXPECT_EQ(storage_->Stat(nullptr, STATFLAG_DEFAULT), E_POINTER);
    EXPECT_EQ(folder_->Close(), S_OK) << "also when closed";
}

TEST_F(WinFolderTest, ARelativePathIsKeptAsGivenAndNamesNothing)
{
    ASSERT_TRUE(CreateDirectoryW(host_.file(L"sub").c_str(), nullptr));
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    ASSERT_TRUE(SetCurrentDirectoryW(host_.path().c_str()));
    const HRESULT opened = folder_->OpenRelPath(Bstr(u"sub").get(), 0);
    STATSTG stat = {};
    const HRESULT statted = opened == S_OK ? storage_->Stat(&stat, STATFLAG_DEFAULT) : E_UNEXPECTED;
    SetCurrentDirectoryW(current);
    ASSERT_EQ(opened, S_OK);
    EXPECT_EQ(path(), L"sub");
    EXPECT_EQ(statted, S_OK);
    EXPECT_EQ(stat.pwcsName, nullptr) << "only OpenAbsPath names the folder";
}

TEST_F(WinFolderTest, OnlyDirectoriesOpen)
{
    HostFolder::write(host_.file(L"file"), {1});
    const struct {
        const char* what;
        BSTR path;
    } cases[] = {
        {"a file", Bstr(asText(host_.file(L"file"))).detach()},
        {"a missing path", Bstr(asText(host_.file(L"missing"))).detach()},
        {"the empty text", Bstr(u"").detach()},
        {"a null text", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(folder_->OpenAbsPath(c.path, 0), E_INVALIDARG);
        EXPECT_EQ(folder_->OpenRelPath(c.path, 0), E_INVALIDARG);
        Bstr text;
        EXPECT_EQ(folder_->get_path(text.put()), E_INVALIDARG) << "still closed";
        SysFreeString(c.path);
    }
}

TEST_F(WinFolderTest, StatFailsWhereTheHostHasNoEntryOrThePathIsRefused)
{
    STATSTG stat = {};
    const std::wstring gone = host_.file(L"gone");
    ASSERT_TRUE(CreateDirectoryW(gone.c_str(), nullptr));
    const std::wstring dots = host_.file(L"..x");
    ASSERT_TRUE(CreateDirectoryW(dots.c_str(), nullptr));
    for (const std::wstring& path : {gone, std::wstring(L"C:\\"), dots}) {
        SCOPED_TRACE(::testing::Message() << path);
        ASSERT_EQ(openAbsolute(path), S_OK);
        if (path == gone) {
            ASSERT_TRUE(RemoveDirectoryW(gone.c_str()));
        }
        EXPECT_EQ(storage_->Stat(&stat, STATFLAG_DEFAULT), E_FAIL);
        EXPECT_EQ(stat.pwcsName, nullptr);
        folder_->Close();
    }
}

TEST_F(WinFolderTest, StateBitsChangeWhereTheMaskSays)
{
    ASSERT_EQ(openAbsolute(host_.path()), S_OK);
    const struct {
        DWORD bits, mask, result;
    } steps[] = {{0x3, 0xFFFFFFFF, 0x3}, {0x5, 0x4, 0x7}, {0x0, 0xFFFFFFFF, 0x0}};
    STATSTG stat = {};
    for (const auto& step : steps) {
        EXPECT_EQ(storage_->SetStateBits(step.bits, step.mask), S_OK);
        folder_->Close(); // the bits survive
        ASSERT_EQ(openAbsolute(host_.path()), S_OK);
        ASSERT_EQ(storage_->Stat(&stat, STATFLAG_NONAME), S_OK);
        EXPECT_EQ(stat.grfStateBits, step.result);
    }
}

TEST_F(WinFolderTest, StreamsAreHostFilesNamedByTheirOwnPath)
{
    const std::wstring file = host_.file(L"s.bin");
    HostFolder::write(file, StorageTest::pattern(100));
    ComPtr<IStream> stream;
    // The folder need not be open, and its path is not put in front.
    ASSERT_EQ(storage_->CreateStream(file.c_str(), 0, 0, 0, stream.put()), S_OK);
    ASSERT_EQ(stream->Write("abc", 3, nullptr), S_OK);
    stream.reset();
    EXPECT_EQ(HostFolder::read(file), (StorageTest::Bytes{'a', 'b', 'c'}));

    ASSERT_EQ(storage_->OpenStream(file.c_str(), nullptr, STGM_READ, 0, stream.put()), S_OK);
    char text[4] = {};
    ULONG got = 0;
    EXPECT_EQ(stream->Read(text, 3, &got), S_OK);
    EXPECT_STREQ(text, "abc");
    EXPECT_EQ(
        storage_->OpenStream(host_.file(L"missing").c_str(), nullptr, STGM_READ, 0, stream.put()),
        HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    // The caller's mode is added to STGM_READWRITE; with STGM_WRITE the
    // access bits mean nothing, and the platform refuses them.
    EXPECT_EQ(storage_->CreateStream(file.c_str(), STGM_WRITE, 0, 0, stream.put()), E_INVALIDARG);
    EXPECT_EQ(storage_->OpenStream(nullptr, nullptr, STGM_READ, 0, stream.put()), E_POINTER);
    EXPECT_EQ(storage_->CreateStream(file.c_str(), 0, 0, 0, nullptr), E_POINTER);
}

TEST_F(WinFolderTest, TheOtherStorageMethodsAreNotImplemented)
{
    IStorage* storage = nullptr;
    IEnumSTATSTG* elements = nullptr;
    IStorage* other = storage_.get();
    const struct {
        HRESULT result;
        const wchar_t* description; // null: no error information
        std::function<HRESULT()> call;
    } cases[] = {
        {E_POINTER, nullptr, [&] { return other->CreateStorage(L"x", 0, 0, 0, nullptr); }},
        {E_NOTIMPL, nullptr, [&] { return other->CreateStorage(L"x", 0, 0, 0, &storage); }},
        {E_POINTER, nullptr,
         [&] { return other->OpenStorage(L"x", nullptr, 0, nullptr, 0, nullptr); }},
        {E_NOTIMPL, nullptr,
         [&] { return other->OpenStorage(L"x", nullptr, 0, nullptr, 0, &storage); }},
        {E_NOTIMPL, nullptr, [&] { return other->CopyTo(0, nullptr, nullptr, other); }},
        {E_POINTER, nullptr, [&] { return other->MoveElementTo(L"x", nullptr, L"y", 1); }},
        {E_NOTIMPL, nullptr, [&] { return other->MoveElementTo(L"x", other, L"y", 1); }},
        {E_NOTIMPL, L"IStorage::Commit", [&] { return other->Commit(0); }},
        {E_NOTIMPL, L"IStorage::Revert", [&] { return other->Revert(); }},
        {E_POINTER, nullptr, [&] { return other->EnumElements(0, nullptr, 0, nullptr); }},
        {E_NOTIMPL, nullptr, [&] { return other->EnumElements(0, nullptr, 0, &elements); }},
        {E_NOTIMPL, nullptr, [&] { return other->DestroyElement(L"x"); }},
        {E_NOTIMPL, nullptr, [&] { return other->RenameElement(L"x", L"y"); }},
        {E_NOTIMPL, L"IStorage::SetElementTimes",
         [&] { return other->SetElementTimes(L"x", nullptr, nullptr, nullptr); }},
        {E_NOTIMPL, L"IStorage::SetClass", [&] { return other->SetClass(CLSID_NULL); }},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        ComTest::clearErrorInfo();
        EXPECT_EQ(cases[i].call(), cases[i].result);
        if (cases[i].description == nullptr) {
            EXPECT_FALSE(ComTest::takeErrorInfo().present);
        } else {
            StorageTest::expectError(CLSID_TavoWinFolder, IID_ITavoWinFolder, cases[i].description,
                                     0);
        }
    }
    EXPECT_EQ(storage, nullptr);
    EXPECT_EQ(elements, nullptr);
}

} // namespace
