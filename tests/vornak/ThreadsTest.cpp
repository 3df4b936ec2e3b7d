// One folder, one of its streams and one of its listings shared by eight
// threads of the multithreaded apartment, each listing, reading, writing and
// renaming at once, one of them connecting the folder again as it goes: every
// byte and every entry arrives once and intact, and nothing is left open.
#include "StorageTest.h"

#include <algorithm>
#include <barrier>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>

using Platform::Bstr;
using Platform::ComPtr;
using StorageTest::Bytes;
using StorageTest::pattern;

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 12;
constexpr int kBurst = 4; // calls on each shared object, by every thread at once, each round
constexpr ULONG kChunk = 512;
constexpr std::uint32_t kChunks = kThreads * kRounds * kBurst;
constexpr int kListed = kThreads * kRounds * kBurst;

// Each 4-byte word holds its own offset, so a chunk says where it was read.
Bytes numberedWords(std::uint32_t size)
{
    Bytes bytes(size);
    for (std::uint32_t i = 0; i < size; i += 4) {
        std::memcpy(bytes.data() + i, &i, 4);
    }
    return bytes;
}

class SharedObjects : public StorageTest::HandsetTest {};

TEST_F(SharedObjects, EightThreadsListReadWriteAndRenameThroughOneFolder)
{
    const Bytes shared = pattern(20000);
    addFile(u"/t/shared", shared);
    addFile(u"/t/numbered", numberedWords(kChunks * kChunk));
    for (int i = 0; i < kListed; ++i) {
        const std::string number = std::to_string(i);
        addFile((u"/l/" + std::u16string(number.begin(), number.end())).c_str(), Bytes(1));
    }
    // The emulated port itself: the recording port keeps no lock.
    const ComPtr<IDiagPort> port = Emulator::EmulatedPort::create(handset_);
    const auto folderObject =
        ComTest::create<ITavoEFSFolder>(CLSID_TavoEFSFolder, IID_ITavoEFSFolder);
    const auto connect = [&](const char16_t* path) {
        return folderObject->Connect(port.get(), 1000, Bstr(path).get(),
                                     Diag::Efs2::kFileSubsystem);
    };
    ASSERT_EQ(connect(u"/l"), S_OK);
    const auto folder = ComTest::query<IStorage>(folderObject.get(), IID_IStorage);
    ComPtr<IEnumSTATSTG> listing;
    ASSERT_EQ(folder->EnumElements(0, nullptr, 0, listing.put()), S_OK);
    ASSERT_EQ(connect(u"/t"), S_OK);
    ComPtr<IStream> numbered;
    ASSERT_EQ(folder->OpenStream(L"numbered", nullptr, 0, 0, numbered.put()), S_OK);

    std::mutex results;
    std::vector<std::uint32_t> offsets; // of every chunk read from the shared stream
    std::multiset<std::u16string> listed;
    std::barrier together(kThreads);
    const auto work = [&](int id) {
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        const std::wstring own = L"w" + std::to_wstring(id);
        const std::wstring renamed = L"r" + std::to_wstring(id);
        const Bytes mine = pattern(3000 + id);
        // A failure ends the thread's own round, never its meeting the others.
        const auto ownWork = [&] {
            if (id == 0) {
                EXPECT_EQ(connect(u"/t"), S_OK);
            }
            // A listing of the folder names only what the threads make.
            ComPtr<IEnumSTATSTG> elements;
            ASSERT_EQ(folder->EnumElements(0, nullptr, 0, elements.put()), S_OK);
            STATSTG record = {};
            while (elements->Next(1, &record, nullptr) == S_OK) {
                const std::wstring name = record.pwcsName;
                CoTaskMemFree(record.pwcsName);
                EXPECT_TRUE(
                    name == L"shared" || name == L"numbered" ||
                    ((name[0] == L'w' || name[0] == L'r') && std::stoi(name.substr(1)) < kThreads))
                    << std::string(name.begin(), name.end());
            }

            ComPtr<IStream> stream;
            ASSERT_EQ(folder->OpenStream(L"shared", nullptr, 0, 0, stream.put()), S_OK);
            Bytes buffer(shared.size() + 10);
            ULONG got = 0;
            ASSERT_EQ(stream->Read(buffer.data(), static_cast<ULONG>(buffer.size()), &got), S_OK);
            buffer.resize(got);
            EXPECT_EQ(buffer, shared);

            ASSERT_EQ(folder->CreateStream(own.c_str(), 0, 0, 0, stream.put()), S_OK);
            ASSERT_EQ(stream->Write(mine.data(), static_cast<ULONG>(mine.size()), nullptr), S_OK);
            stream.reset();
            ASSERT_EQ(folder->RenameElement(own.c_str(), renamed.c_str()), S_OK);
            ASSERT_EQ(folder->OpenStream(renamed.c_str(), nullptr, 0, 0, stream.put()), S_OK);
            buffer.assign(mine.size() + 10, 0);
            ASSERT_EQ(stream->Read(buffer.data(), static_cast<ULONG>(buffer.size()), &got), S_OK);
            buffer.resize(got);
            EXPECT_EQ(buffer, mine);
            stream.reset();
            ASSERT_EQ(folder->RenameElement(renamed.c_str(), own.c_str()), S_OK);
        };
        for (int round = 0; round < kRounds; ++round) {
            // The shared stream and the shared listing move on by one call's
            // worth each time, whoever calls.
            together.arrive_and_wait();
            for (int i = 0; i < kBurst; ++i) {
                Bytes chunk(kChunk);
                ULONG got = 0;
                EXPECT_EQ(numbered->Read(chunk.data(), kChunk, &got), S_OK);
                EXPECT_EQ(got, kChunk);
                std::uint32_t first = 0;
                std::memcpy(&first, chunk.data(), 4);
                EXPECT_TRUE(first % kChunk == 0 &&
                            std::equal(chunk.begin(), chunk.end(),
                                       numberedWords(first + kChunk).begin() + first))
                    << "a chunk from two places";
                STATSTG record = {};
                EXPECT_EQ(listing->Next(1, &record, nullptr), S_OK);
                const std::lock_guard lock(results);
                offsets.push_back(first);
                listed.insert(Platform::toU16String(record.pwcsName));
                CoTaskMemFree(record.pwcsName);
            }
            ownWork();
        }
        CoUninitialize();
    };
    std::vector<std::thread> threads;
    for (int id = 0; id < kThreads; ++id) {
        threads.emplace_back(work, id);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }

    std::sort(offsets.begin(), offsets.end());
    std::vector<std::uint32_t> everyChunk(kChunks);
    for (std::uint32_t i = 0; i < kChunks; ++i) {
        everyChunk[i] = i * kChunk;
    }
    EXPECT_EQ(offsets, everyChunk) << "a chunk read twice or never";
    EXPECT_EQ(listed.size(), static_cast<std::size_t>(kListed));
    EXPECT_EQ(std::set<std::u16string>(listed.begin(), listed.end()).size(), listed.size())
        << "an entry handed out twice";
    STATSTG record = {};
    EXPECT_EQ(listing->Next(1, &record, nullptr), S_FALSE);
}

} // namespace
