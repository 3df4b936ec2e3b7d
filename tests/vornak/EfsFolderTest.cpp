// A handset folder through ITavoEFSFolder and IStorage, on an emulated
// handset: the recursive listing and the element operations.
#include "StorageTest.h"

#include <cstring>

using Emulator::Fault;
using Platform::Bstr;
using Platform::ComPtr;
using StorageTest::Command;
using StorageTest::pattern;
using StorageTest::Strings;

namespace {

// The names of an enumerator's entries, a "/" after those of directories.
std::vector<std::u16string> names(IUnknown* enumerator)
{
    std::vector<std::u16string> result;
    const auto reading = ComTest::query<IEnumSTATSTG>(enumerator, IID_IEnumSTATSTG);
    STATSTG record = {};
    while (reading->Next(1, &record, nullptr) == S_OK) {
        result.push_back(Platform::toU16String(record.pwcsName) +
                         (record.type == STGTY_STORAGE ? u"/" : u""));
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

class FolderTest : public StorageTest::HandsetTest {
protected:
    HRESULT listTree(const char16_t* path, IUnknown** listing)
    {
        return ComTest::query<ITavoEFSFolder>(folder(path).get(), IID_ITavoEFSFolder)
            ->RecursiveDirList(listing);
    }
    static void expectFolderError(const std::wstring& description, DWORD helpContext)
    {
        StorageTest::expectError(CLSID_TavoEFSFolder, IID_IStorage, description, helpContext);
    }
};

TEST_F(FolderTest, RecursiveListingWalksBreadthFirstAndPassesOverWhatItMayNotOpen)
{
    addFile(u"/a", pattern(5));
    addFile(u"/d/x", pattern(3));
    addDirectory(u"/d/e");
    addDirectory(u"/gone");
    addDirectory(u"/lost");
    addFile(u"/nvm/hidden", pattern(1));
    addFile(u"/zarn/d/f", pattern(1));
    failOn(Command::OpenDir, "/nvm", Fault::errorResponse(13));    // EACCES, but /nvm
    failOn(Command::OpenDir, "/gone", Fault::errorResponse(2));    // ENOENT
    failOn(Command::OpenDir, "/lost", Fault::portFailure(E_FAIL)); // the port's own
    ComPtr<IUnknown> listing;
    ASSERT_EQ(listTree(u"/", listing.put()), S_OK);
    EXPECT_EQ(names(listing.get()),
              (std::vector<std::u16string>{u"/a", u"/d/", u"/gone/", u"/lost/", u"/nvm/", u"/zarn/",
                                           u"/d/e/", u"/d/x", u"/zarn/d/", u"/zarn/d/f"}));
    // The root is opened as the empty name, the zarn tree without its "/".
    EXPECT_EQ(port_->paths(Command::OpenDir),
              (Strings{"", "/d", "/gone", "/lost", "/nvm", "zarn", "/d/e", "zarn/d"}));

    // EnumElements opens the folder as it stands and lists bare names.
    port_->requests.clear();
    ComPtr<IEnumSTATSTG> elements;
    ASSERT_EQ(folder(u"/")->EnumElements(0, nullptr, 0, elements.put()), S_OK);
    EXPECT_EQ(names(elements.get()).front(), u"a");
    EXPECT_EQ(port_->paths(Command::OpenDir), Strings{"/"});
}

TEST_F(FolderTest, RecursiveListingFailsForItsRootAndForWhatItMustNotPassOver)
{
    addDirectory(u"/d/s");
    addDirectory(u"/empty");
    const struct {
        const char16_t* path;
        std::function<void()> arrange;
        const wchar_t* description;
        DWORD helpContext;
    } cases[] = {
        {u"/missing", [] {}, L"/missing EFS2_DIAG_OPENDIR </missing>", 3},
        {u"/d", [&] { failOn(Command::OpenDir, "/d/s", Fault::errorResponse(13)); },
         L"/d/s EFS2_DIAG_OPENDIR </d/s>", 14},
        {u"/empty", [&] { handset_->queueFault(Fault::errorResponse(2).on(Command::ReadDir)); },
         L"EFS2_DIAG_READDIR", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.description);
        c.arrange();
        int marker = 0;
        IUnknown* const untouched = reinterpret_cast<IUnknown*>(&marker);
        IUnknown* listing = untouched;
        EXPECT_EQ(listTree(c.path, &listing), VORNAK_E_HANDSET);
        expectFolderError(c.description, c.helpContext);
        EXPECT_EQ(listing, untouched) << "nothing is stored when the listing fails";
    }
    ComPtr<IUnknown> listing;
    ASSERT_EQ(listTree(u"/empty", listing.put()), S_OK);
    EXPECT_TRUE(names(listing.get()).empty());

    // A folder whose port is no port has nothing to list with.
    const auto unconnected =
        ComTest::create<ITavoEFSFolder>(CLSID_TavoEFSFolder, IID_ITavoEFSFolder);
    const auto notAPort = ComTest::CountedPort::make(ComTest::CountedPort::Kind::NotAPort);
    ASSERT_EQ(unconnected->Connect(notAPort.get(), 0, Bstr(u"/").get(), 19), S_OK);
    EXPECT_EQ(unconnected->RecursiveDirList(listing.put()), E_POINTER);
    expectFolderError(L"", 0);
}

// Every operation joins the folder's path and the element's name by one
// rule; OpenStorage shows both the path sent and the path kept.
TEST_F(FolderTest, ElementPathsJoinWithOneSeparator)
{
    addDirectory(u"/a/b");
    addFile(u"/b", pattern(1)); // a file opens as a storage too
    const struct {
        const char16_t* directory;
        const wchar_t* name;
        const char* joined;
    } cases[] = {
        {u"/", L"a", "/a"},     {u"/a", L"b", "/a/b"}, {u"/a/", L"b", "/a/b"},
        {u"/a", L"/b", "/a/b"}, {u"", L"b", "b"},      {u"/a/", L"/b", "/a//b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.joined);
        port_->requests.clear();
        ComPtr<IStorage> element;
        ASSERT_EQ(folder(c.directory)->OpenStorage(c.name, nullptr, 0, nullptr, 0, element.put()),
                  S_OK);
        EXPECT_EQ(port_->paths(Command::LStat), Strings{c.joined});
        EXPECT_EQ(pathOf(element.get()),
                  std::u16string(c.joined, c.joined + std::strlen(c.joined)));
    }
    IStorage* element = nullptr;
    EXPECT_EQ(folder(u"/")->OpenStorage(L"missing", nullptr, 0, nullptr, 0, &element),
              VORNAK_E_HANDSET);
    expectFolderError(L"EFS2_DIAG_LSTAT", 3);
}

TEST_F(FolderTest, ElementsAreMadeRemovedRenamedAndMovedOnTheHandset)
{
    addFile(u"/a/file", pattern(1));
    addFile(u"/a/full/x", pattern(1));
    addDirectory(u"/b");
    const ComPtr<IStorage> a = folder(u"/a");
    ComPtr<IStorage> made;
    ASSERT_EQ(a->CreateStorage(L"d", STGM_WRITE, 0, 0, made.put()), S_OK);
    EXPECT_EQ(pathOf(made.get()), u"/a/d");
    EXPECT_EQ(a->CreateStorage(L"d", 0, 0, 0, made.put()), VORNAK_E_HANDSET);
    expectFolderError(L"EFS2_DIAG_MKDIR", 18);

    EXPECT_EQ(a->DestroyElement(L"d"), S_OK);
    EXPECT_EQ(a->DestroyElement(L"file"), S_OK);
    EXPECT_EQ(port_->paths(Command::RmDir), Strings{"/a/d"}) << "LSTAT tells which to send";
    EXPECT_EQ(port_->paths(Command::Unlink), Strings{"/a/file"});
    EXPECT_EQ(a->DestroyElement(L"full"), VORNAK_E_HANDSET) << "nothing is removed recursively";
    expectFolderError(L"EFS2_DIAG_RMDIR", 40);

    port_->requests.clear();
    EXPECT_EQ(a->RenameElement(L"full", L"/renamed"), S_OK);
    EXPECT_EQ(a->MoveElementTo(L"renamed", folder(u"/b").get(), L"y", STGMOVE_MOVE), S_OK);
    ASSERT_EQ(port_->requests.size(), 2u);
    EXPECT_EQ(TestSupport::RecordingPort::pathsOf(port_->requests[0]),
              (Strings{"/a/full", "/a/renamed"}));
    EXPECT_EQ(TestSupport::RecordingPort::pathsOf(port_->requests[1]),
              (Strings{"/a/renamed", "/b/y"}));

    // Moves that cannot be done and null names are refused before anything
    // is sent.
    port_->requests.clear();
    const auto host = ComTest::create<IStorage>(CLSID_TavoWinFolder, IID_IStorage);
    EXPECT_EQ(a->MoveElementTo(L"file", host.get(), L"z", STGMOVE_MOVE), STG_E_INVALIDPARAMETER);
    expectFolderError(L"", 0);
    EXPECT_EQ(a->MoveElementTo(L"file", host.get(), L"z", 2), E_FAIL);
    for (const HRESULT hr : {a->MoveElementTo(nullptr, host.get(), L"z", STGMOVE_COPY),
                             a->CreateStorage(nullptr, 0, 0, 0, made.put()),
                             a->DestroyElement(nullptr), a->RenameElement(L"x", nullptr)}) {
        EXPECT_EQ(hr, E_POINTER);
    }
    EXPECT_FALSE(ComTest::takeErrorInfo().present) << "argument checks record nothing";
    EXPECT_TRUE(port_->requests.empty());
}

TEST_F(FolderTest, StreamsOpenReadOnlyOrCreateWriteOnly)
{
    addFile(u"/d/f", pattern(700));
    const ComPtr<IStorage> d = folder(u"/d");
    ComPtr<IStream> stream;
    ASSERT_EQ(d->OpenStream(L"f", nullptr, STGM_READWRITE, 0, stream.put()), S_OK);
    EXPECT_EQ(stream->Write("x", 1, nullptr), VORNAK_E_HANDSET) << "whatever the mode asked";
    ASSERT_EQ(d->CreateStream(L"f", STGM_READ, 0, 0, stream.put()), S_OK);
    EXPECT_TRUE(content(u"/d/f").empty()) << "a created stream empties the file";
    stream.reset();

    EXPECT_EQ(d->OpenStream(L"missing", nullptr, 0, 0, stream.put()), VORNAK_E_HANDSET);
    expectFolderError(L"EFS2_DIAG_OPEN /d/missing", 3);
    port_->requests.clear();
    EXPECT_EQ(d->OpenStream(L"...", nullptr, 0, 0, stream.put()), VORNAK_E_UNEXPECTED);
    expectFolderError(L"", 0);
    EXPECT_TRUE(port_->requests.empty()) << "a path the parser refuses is not sent";

    // A stream that cannot take the descriptor over (the first query is
    // OPEN's, the second the stream's) closes it.
    port_->refuseQuery(2, E_ACCESSDENIED);
    EXPECT_EQ(d->OpenStream(L"f", nullptr, 0, 0, stream.put()), E_ACCESSDENIED);
    expectFolderError(L"", 0);
    ASSERT_EQ(port_->requests.size(), 2u);
    EXPECT_EQ(port_->commands().back(), Command::Close);
}

} // namespace
