// A folder of the host computer through ITavoWinFolder and IStorage.
#include "StorageTest.h"

using Platform::Bstr;
using Platform::ComPtr;
using StorageTest::HostFolder;

namespace {

class WinFolderTest : public ::testing::Test {
protected:
    HRESULT openAbsolute(const std::wstring& path)
    {
        return folder_->OpenAbsPath(Bstr(Platform::toU16String(path.c_str())).get(), 0);
    }
    std::wstring path()
    {
        Bstr text;
        return folder_->get_path(text.put()) == S_OK ? text.get() : L"<failed>";
    }

    ComPtr<ITavoWinFolder> folder_ =
        ComTest::create<ITavoWinFolder>(CLSID_TavoWinFolder, IID_ITavoWinFolder);
    ComPtr<IStorage> storage_ = ComTest::query<IStorage>(folder_.get(), IID_IStorage);
    HostFolder host_;
};

TEST_F(WinFolderTest, AnAbsolutePathIsKeptWithItsSeparatorAndNamesTheFolder)
{
    EXPECT_EQ(path(), L"<failed>") << "not open";
    ASSERT_EQ(openAbsolute(host_.path()), S_OK);
    const std::wstring stored = host_.path() + L"\\";
    EXPECT_EQ(path(), stored);
    EXPECT_EQ(openAbsolute(L"C:\\"), E_INVALIDARG) << "open already";
    STATSTG stat = {};
    ASSERT_EQ(storage_->Stat(&stat, STATFLAG_DEFAULT), S_OK);
    EXPECT_EQ(Platform::toU16String(stat.pwcsName), Platform::toU16String(stored.c_str()));
    CoTaskMemFree(stat.pwcsName);
    EXPECT_EQ(stat.type, static_cast<DWORD>(STGTY_STORAGE));
    EXPECT_EQ(folder_->Close(), S_OK);
    EXPECT_EQ(path(), L"<failed>");
    EXPECT_EQ(storage_->Stat(&stat, STATFLAG_DEFAULT), E_INVALIDARG);

    // A relative path is kept as given.
    ASSERT_EQ(folder_->OpenRelPath(Bstr(u".").get(), 0), S_OK);
    EXPECT_EQ(path(), L".");
}

TEST_F(WinFolderTest, OnlyDirectoriesOpenAndStatNeedsAnEntryOfTheHost)
{
    HostFolder::write(host_.file(L"file"), {1});
    const Bstr file(Platform::toU16String(host_.file(L"file").c_str()));
    const Bstr missing(Platform::toU16String(host_.file(L"missing").c_str()));
    const Bstr empty(u"");
    for (const BSTR text : {file.get(), missing.get(), empty.get(), BSTR()}) {
        EXPECT_EQ(folder_->OpenAbsPath(text, 0), E_INVALIDARG);
        EXPECT_EQ(folder_->OpenRelPath(text, 0), E_INVALIDARG);
        EXPECT_EQ(path(), L"<failed>") << "still closed";
    }

    const std::wstring gone = host_.file(L"gone");
    const std::wstring dots = host_.file(L"..x"); // the host's path rules refuse it
    std::filesystem::create_directory(gone);
    std::filesystem::create_directory(dots);
    for (const std::wstring& directory : {gone, std::wstring(L"C:\\"), dots}) {
        SCOPED_TRACE(::testing::Message() << directory);
        ASSERT_EQ(openAbsolute(directory), S_OK);
        std::filesystem::remove(gone);
        STATSTG stat = {};
        EXPECT_EQ(storage_->Stat(&stat, STATFLAG_DEFAULT), E_FAIL);
        folder_->Close();
    }
}

TEST_F(WinFolderTest, StateBitsChangeWhereTheMaskSaysAndSurviveClose)
{
    const struct {
        DWORD bits, mask, result;
    } steps[] = {{0x3, 0xFFFFFFFF, 0x3}, {0x5, 0x4, 0x7}, {0x0, 0xFFFFFFFF, 0x0}};
    for (const auto& step : steps) {
        EXPECT_EQ(storage_->SetStateBits(step.bits, step.mask), S_OK);
        ASSERT_EQ(openAbsolute(host_.path()), S_OK);
        STATSTG stat = {};
        ASSERT_EQ(storage_->Stat(&stat, STATFLAG_NONAME), S_OK);
        EXPECT_EQ(stat.grfStateBits, step.result);
        folder_->Close();
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
    EXPECT_EQ(HostFolder::read(file), (StorageTest::Bytes{'a', 'b', 'c'})) << "created anew";
    // The caller's mode is added to STGM_READWRITE: with STGM_WRITE the
    // access bits mean nothing, and the platform refuses them.
    EXPECT_EQ(storage_->CreateStream(file.c_str(), STGM_WRITE, 0, 0, stream.put()), E_INVALIDARG);

    ASSERT_EQ(storage_->OpenStream(file.c_str(), nullptr, STGM_READ, 0, stream.put()), S_OK);
    EXPECT_EQ(
        storage_->OpenStream(host_.file(L"missing").c_str(), nullptr, STGM_READ, 0, stream.put()),
        HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(storage_->OpenStream(nullptr, nullptr, STGM_READ, 0, stream.put()), E_POINTER);
}

} // namespace
