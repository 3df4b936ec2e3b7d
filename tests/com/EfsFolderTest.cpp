// A handset folder through ITavoEFSFolder and IStorage, on an emulated
// handset: the recursive listing and the element operations.
#include "com/StorageTest.h"

#include <cstring>
#include <functional>

using Emulator::Fault;
using Platform::Bstr;
using Platform::ComPtr;
using StorageTest::Command;
using StorageTest::field16;
using StorageTest::field32;
using StorageTest::HandsetTest;
using StorageTest::pattern;

namespace {

struct Listed {
    std::u16string name;
    DWORD type;
    ULONGLONG size;
    bool operator==(const Listed&) const = default;
};

std::vector<Listed> list(IUnknown* enumerator)
{
    std::vector<Listed> result;
    const auto reading = ComTest::query<IEnumSTATSTG>(enumerator, IID_IEnumSTATSTG);
    STATSTG record = {};
    while (reading && reading->Next(1, &record, nullptr) == S_OK) {
        result.push_back(
            {Platform::toU16String(record.pwcsName), record.type, record.cbSize.QuadPart});
        CoTaskMemFree(record.pwcsName);
    }
    return result;
}

std::u16string pathOf(IUnknown* folder)
{
    Bstr path;
    EXPECT_EQ(ComTest::query<ITavoEFSFolder>(folder, IID_ITavoEFSFolder)->get_path(path.put()),
              S_OK);
    return path.text();
}

class FolderTest : public HandsetTest {
protected:
    HRESULT listTree(const char16_t* path, IUnknown** listing)
    {
        return ComTest::query<ITavoEFSFolder>(folder(path).get(), IID_ITavoEFSFolder)
            ->RecursiveDirList(listing);
    }
    void expectHandsetError(const std::wstring& description, DWORD helpContext)
    {
        StorageTest::expectError(CLSID_TavoEFSFolder, IID_IStorage, description, helpContext);
    }
};

TEST_F(FolderTest, RecursiveListingWalksBreadthFirstAndPassesOverWhatItMayNotOpen)
{
    addFile(u"/a.txt", pattern(5));
    addFile(u"/d/x", pattern(3));
    addDirectory(u"/d/e");
    addDirectory(u"/gone");
    addDirectory(u"/lost");
    addFile(u"/nvm/hidden", pattern(1));
    addFile(u"/zarn/d/f", pattern(1));
    port_->failOn(Command::OpenDir, "/nvm", Fault::errorResponse(13));    // EACCES, forgiven here
    port_->failOn(Command::OpenDir, "/gone", Fault::errorResponse(2));    // ENOENT: code 3
    port_->failOn(Command::OpenDir, "/lost", Fault::portFailure(E_FAIL)); // code 533

    ComPtr<IUnknown> listing;
    ASSERT_EQ(listTree(u"/", listing.put()), S_OK);
    const std::vector<Listed> expected = {
        {u"/a.txt", STGTY_STREAM, 5},   {u"/d", STGTY_STORAGE, 0},
        {u"/gone", STGTY_STORAGE, 0},   {u"/lost", STGTY_STORAGE, 0},
        {u"/nvm", STGTY_STORAGE, 0},    {u"/zarn", STGTY_STORAGE, 0},
        {u"/d/e", STGTY_STORAGE, 0},    {u"/d/x", STGTY_STREAM, 3},
        {u"/zarn/d", STGTY_STORAGE, 0}, {u"/zarn/d/f", STGTY_STREAM, 1},
    };
    EXPECT_EQ(list(listing.get()), expected);
    // The root is opened as the empty name, the "zarn" tree without its "/".
    const std::vector<std::string> opened = {"",     "/d",   "/gone", "/lost",
                                             "/nvm", "zarn", "/d/e",  "zarn/d"};
    EXPECT_EQ(port_->paths(Command::OpenDir), opened);
}

TEST_F(FolderTest, RecursiveListingFailsForTheRootAndForWhatItMustNotPassOver)
{
    addDirectory(u"/d/s");
    addDirectory(u"/r/s");
    struct Case {
        const char* what;
        const char16_t* path;
        std::function<void()> arrange;
        const wchar_t* description;
        DWORD helpContext;
    };
    const Case cases[] = {
        {"a root that does not exist", u"/missing", [] {}, L"/missing EFS2_DIAG_OPENDIR </missing>",
         3},
        {"a sub-directory refused", u"/d",
         [&] { port_->failOn(Command::OpenDir, "/d/s", Fault::errorResponse(13)); },
         L"/d/s EFS2_DIAG_OPENDIR </d/s>", 14},
        {"entries that cannot be read", u"/r",
         [&] { handset_->queueFault(Fault::errorResponse(2).on(Command::ReadDir)); },
         L"EFS2_DIAG_READDIR", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.arrange();
        int marker = 0;
        IUnknown* const untouched = reinterpret_cast<IUnknown*>(&marker);
        IUnknown* listing = untouched;
        EXPECT_EQ(listTree(c.path, &listing), VORNAK_E_HANDSET);
        expectHandsetError(c.description, c.helpContext);
        EXPECT_EQ(listing, untouched) << "nothing is stored when the listing fails";
    }
}

TEST_F(FolderTest, ListingsOfAnEmptyOrUnconnectedFolder)
{
    addDirectory(u"/e");
    ComPtr<IUnknown> listing;
    ASSERT_EQ(listTree(u"/e", listing.put()), S_OK);
    EXPECT_TRUE(list(listing.get()).empty());
    EXPECT_EQ(listTree(u"/e", nullptr), E_POINTER);

    // A folder without a port fails each operation that would reach the handset.
    port_->forget();
    const auto unconnected =
        ComTest::create<ITavoEFSFolder>(CLSID_TavoEFSFolder, IID_ITavoEFSFolder);
    ComTest::CountedPort notAPort(ComTest::CountedPort::Kind::NotAPort);
    ASSERT_EQ(unconnected->Connect(&notAPort, 0, Bstr(u"/e").get(), 19), S_OK);
    EXPECT_EQ(unconnected->RecursiveDirList(listing.put()), E_POINTER);
    expectHandsetError(L"", 0);
    IEnumSTATSTG* elements = nullptr;
    EXPECT_EQ(ComTest::query<IStorage>(unconnected.get(), IID_IStorage)
                  ->EnumElements(0, nullptr, 0, &elements),
              E_POINTER);
    expectHandsetError(L"", 0);
    EXPECT_EQ(elements, nullptr);
    EXPECT_TRUE(port_->requests().empty());
}

TEST_F(FolderTest, EnumElementsListsBareNamesOfTheFolderAsItStands)
{
    addFile(u"/f", pattern(9));
    addDirectory(u"/d");
    ComPtr<IEnumSTATSTG> elements;
    ASSERT_EQ(folder(u"/")->EnumElements(0, nullptr, 0, elements.put()), S_OK);
    const std::vector<Listed> expected = {{u"d", STGTY_STORAGE, 0}, {u"f", STGTY_STREAM, 9}};
    EXPECT_EQ(list(elements.get()), expected);
    EXPECT_EQ(port_->paths(Command::OpenDir), std::vector<std::string>{"/"});
}

// Every operation joins the folder's path and the element's name by one
// rule; OpenStorage shows both the path sent and the path kept.
TEST_F(FolderTest, ElementPathsJoinWithOneSeparator)
{
    addDirectory(u"/a/b");
    addFile(u"/b", pattern(1));
    const struct {
        const char16_t* directory;
        const char16_t* name;
        const char16_t* joined;
    } cases[] = {
        {u"/", u"a", u"/a"},     {u"/a", u"b", u"/a/b"}, {u"/a/", u"b", u"/a/b"},
        {u"/a", u"/b", u"/a/b"}, {u"", u"b", u"b"},      {u"/a/", u"/b", u"/a//b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "name " << Bstr(c.name).get());
        port_->forget();
        ComPtr<IStorage> element;
        ASSERT_EQ(
            folder(c.directory)
                ->OpenStorage(Platform::asOleText(c.name), nullptr, 0, nullptr, 0, element.put()),
            S_OK);
        EXPECT_EQ(pathOf(element.get()), c.joined);
        EXPECT_EQ(port_->paths(Command::LStat),
                  std::vector<std::string>{StorageTest::narrow(c.joined)});
    }
    IStorage* element = nullptr;
    EXPECT_EQ(folder(u"/")->OpenStorage(L"missing", nullptr, 0, nullptr, 0, &element),
              VORNAK_E_HANDSET);
    expectHandsetError(L"EFS2_DIAG_LSTAT", 3);
}

TEST_F(FolderTest, StoragesAreMadeRemovedAndRenamedOnTheHandset)
{
    addFile(u"/a/file", pattern(1));
    addFile(u"/a/full/x", pattern(1));
    const ComPtr<IStorage> a = folder(u"/a");
    ComPtr<IStorage> made;
    ASSERT_EQ(a->CreateStorage(L"d", STGM_WRITE, 0, 0, made.put()), S_OK);
    EXPECT_EQ(pathOf(made.get()), u"/a/d");
    ASSERT_EQ(port_->commands(), std::vector<std::uint16_t>{Command::MkDir});
    EXPECT_EQ(field16(port_->requests()[0].bytes, 4), 0666u);
    EXPECT_EQ(a->CreateStorage(L"d", 0, 0, 0, made.put()), VORNAK_E_HANDSET);
    expectHandsetError(L"EFS2_DIAG_MKDIR", 18);

    port_->forget();
    EXPECT_EQ(a->DestroyElement(L"d"), S_OK);
    EXPECT_EQ(a->DestroyElement(L"file"), S_OK);
    EXPECT_EQ(port_->commands(), (std::vector<std::uint16_t>{Command::LStat, Command::RmDir,
                                                             Command::LStat, Command::Unlink}));
    EXPECT_EQ(a->DestroyElement(L"full"), VORNAK_E_HANDSET) << "nothing is removed recursively";
    expectHandsetError(L"EFS2_DIAG_RMDIR", 40);

    port_->forget();
    EXPECT_EQ(a->RenameElement(L"full", L"/moved"), S_OK);
    ASSERT_EQ(port_->requests().size(), 1u);
    EXPECT_EQ(port_->requests()[0].paths, (std::vector<std::string>{"/a/full", "/a/moved"}));

    ComPtr<IStorage> opened;
    for (HRESULT hr :
         {a->CreateStorage(nullptr, 0, 0, 0, opened.put()),
          a->OpenStorage(nullptr, nullptr, 0, nullptr, 0, opened.put()), a->DestroyElement(nullptr),
          a->RenameElement(L"x", nullptr), a->CreateStorage(L"x", 0, 0, 0, nullptr)}) {
        EXPECT_EQ(hr, E_POINTER);
    }
}

TEST_F(FolderTest, MoveIsOneRenameToAnotherHandsetFolder)
{
    addFile(u"/a/x", pattern(3));
    addDirectory(u"/b");
    const ComPtr<IStorage> a = folder(u"/a");
    port_->forget();
    EXPECT_EQ(a->MoveElementTo(L"x", folder(u"/b").get(), L"y", STGMOVE_MOVE), S_OK);
    ASSERT_EQ(port_->commands(), std::vector<std::uint16_t>{Command::Rename});
    EXPECT_EQ(port_->requests()[0].paths, (std::vector<std::string>{"/a/x", "/b/y"}));
    EXPECT_EQ(content(u"/b/y"), pattern(3));

    port_->forget();
    const auto host = ComTest::create<IStorage>(CLSID_TavoWinFolder, IID_IStorage);
    EXPECT_EQ(a->MoveElementTo(L"y", host.get(), L"z", STGMOVE_MOVE), STG_E_INVALIDPARAMETER);
    expectHandsetError(L"", 0);
    ComTest::clearErrorInfo();
    EXPECT_EQ(a->MoveElementTo(L"y", host.get(), L"z", 2), E_FAIL);
    EXPECT_EQ(a->MoveElementTo(nullptr, host.get(), L"z", STGMOVE_COPY), E_POINTER);
    EXPECT_EQ(a->MoveElementTo(L"y", nullptr, L"z", STGMOVE_COPY), E_POINTER);
    EXPECT_EQ(a->MoveElementTo(L"y", host.get(), nullptr, STGMOVE_COPY), E_POINTER);
    EXPECT_FALSE(ComTest::takeErrorInfo().present);
    EXPECT_TRUE(port_->requests().empty());
}

TEST_F(FolderTest, StatAndCopyToDoNothing)
{
    const ComPtr<IStorage> root = folder(u"/");
    STATSTG stat;
    std::memset(&stat, 0xCD, sizeof stat);
    EXPECT_EQ(root->Stat(&stat, STATFLAG_DEFAULT), S_OK);
    EXPECT_EQ(stat.type, 0xCDCDCDCDu);
    EXPECT_EQ(root->CopyTo(0, nullptr, nullptr, folder(u"/x").get()), S_OK);
    EXPECT_TRUE(port_->requests().empty());
}

TEST_F(FolderTest, StreamsOpenReadOnlyOrCreateWriteOnly)
{
    addFile(u"/d/f", pattern(700));
    const ComPtr<IStorage> d = folder(u"/d");
    ComPtr<IStream> stream;
    ASSERT_EQ(d->OpenStream(L"f", nullptr, STGM_READWRITE, 0, stream.put()), S_OK);
    EXPECT_EQ(port_->requests().back().paths, std::vector<std::string>{"/d/f"});
    EXPECT_EQ(field32(port_->requests().back().bytes, 4), 0u);
    EXPECT_EQ(field32(port_->requests().back().bytes, 8), 0444u);
    ULONG count = 0;
    EXPECT_EQ(stream->Write("x", 1, &count), VORNAK_E_HANDSET) << "whatever the mode asked";
    StorageTest::expectError(CLSID_TavoEFSFile, IID_ITavoEFSFile, L"EFS2_DIAG_WRITE", 10);

    ASSERT_EQ(d->CreateStream(L"f", STGM_READ, 0, 0, stream.put()), S_OK);
    EXPECT_EQ(field32(port_->requests().back().bytes, 4), 0x241u);
    EXPECT_EQ(field32(port_->requests().back().bytes, 8), 0666u);
    EXPECT_TRUE(content(u"/d/f").empty()) << "a created stream empties the file";
    STATSTG stat = {};
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_DEFAULT), S_OK);
    EXPECT_EQ(Platform::toU16String(stat.pwcsName), u"f") << "the name as given";
    CoTaskMemFree(stat.pwcsName);
    stream.reset();

    EXPECT_EQ(d->OpenStream(L"missing", nullptr, 0, 0, stream.put()), VORNAK_E_HANDSET);
    expectHandsetError(L"EFS2_DIAG_OPEN /d/missing", 3);
    port_->forget();
    EXPECT_EQ(d->OpenStream(L"...", nullptr, 0, 0, stream.put()), VORNAK_E_UNEXPECTED);
    expectHandsetError(L"", 0);
    EXPECT_TRUE(port_->requests().empty()) << "a path the parser refuses is not sent";
    EXPECT_EQ(d->OpenStream(nullptr, nullptr, 0, 0, stream.put()), E_POINTER);
    EXPECT_EQ(d->CreateStream(L"f", 0, 0, 0, nullptr), E_POINTER);
}

TEST_F(FolderTest, AStreamThatCannotBeConnectedClosesItsDescriptor)
{
    addFile(u"/f", pattern(1));
    const ComPtr<IStorage> root = folder(u"/");
    // The first query is OPEN's, the second the stream's.
    port_->refuseQuery(2, E_ACCESSDENIED);
    ComPtr<IStream> stream;
    EXPECT_EQ(root->OpenStream(L"f", nullptr, 0, 0, stream.put()), E_ACCESSDENIED);
    expectHandsetError(L"", 0);
    EXPECT_EQ(port_->commands(), (std::vector<std::uint16_t>{Command::Open, Command::Close}));
}

} // namespace
