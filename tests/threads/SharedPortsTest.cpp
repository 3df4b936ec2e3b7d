// One emulated port, and one serial port to the emulated handset on a
// pseudo-terminal, each shared by many threads that run whole operations at
// once: every byte comes back right, nothing is left open, and under the
// native-tsan preset ThreadSanitizer reports nothing.
#include "diag/CEFSException.h"
#include "diag/EFSLStat.h"
#include "diag/EFSMkDir.h"
#include "diag/EFSOpen.h"
#include "diag/EFSRename.h"
#include "diag/EFSRmDir.h"
#include "diag/EFSUnlink.h"
#include "efs/EFSDir.h"
#include "efs/File.h"
#include "emulator/EmulatedPort.h"
#include "platform/Bstr.h"

#if !defined(_WIN32)
#include "transport/PtyHandsetServer.h"
#include "transport/SerialPort.h"
#endif

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace Efs2 = Diag::Efs2;

constexpr std::uint8_t kSubsystem = Efs2::kFileSubsystem;
constexpr int kThreads = 8;
constexpr int kRounds = 30;
const Bytes kShared(3000, 0x5A); // read by every thread at once

std::u16string text16(const std::string& text)
{
    return std::u16string(text.begin(), text.end());
}

std::shared_ptr<Emulator::Handset> newHandset()
{
    auto handset = std::make_shared<Emulator::Handset>();
    handset->edit([](Emulator::FileSystem& fs) { fs.addFile(u"/shared", kShared); });
    return handset;
}

// The operations of one thread, all in a directory of its own but the
// shared file: write, read back, list, stat, rename, remove, and read the
// shared file, also through the item service. Failures are GoogleTest
// failures.
void work(IUnknown* port, std::uint32_t timeout, int thread)
{
    std::mt19937 random(static_cast<unsigned>(thread));
    const std::string home = "/t" + std::to_string(thread);
    const auto open = [&](const std::u16string& path, std::uint32_t flags) {
        const std::int32_t fd = Diag::Efs::Open(port, timeout, kSubsystem)
                                    .Execute(path, flags, Efs2::kModeReadWrite);
        return Rc::makeHeap<Efs::File, Efs::FileBase>(fd, port, timeout, kSubsystem);
    };
    try {
        CEFSMkDir(port, timeout, kSubsystem).Execute(text16(home), 0755);
        for (int round = 0; round < kRounds; ++round) {
            const std::u16string path = text16(home + "/f" + std::to_string(round));
            Bytes content(random() % 2000);
            std::generate(content.begin(), content.end(),
                          [&] { return static_cast<std::uint8_t>(random()); });
            open(path, Efs2::kOpenCreateForWriting)
                ->Write(content.data(), static_cast<std::uint32_t>(content.size()), nullptr);

            Bytes back(content.size() + 512);
            back.resize(open(path, Efs2::kOpenReadOnly)
                            ->Read(back.data(), static_cast<std::uint32_t>(back.size())));
            EXPECT_EQ(back, content) << "thread " << thread << ", round " << round;

            Bytes shared(kShared.size() + 1);
            shared.resize(open(u"/shared", Efs2::kOpenReadOnly)
                              ->Read(shared.data(), static_cast<std::uint32_t>(shared.size())));
            EXPECT_EQ(shared, kShared);

            // The whole shared file through the item service, where the port offers one.
            Platform::ComPtr<IServerPort> server;
            if (SUCCEEDED(Platform::queryInterfaceNoThrow(port, IID_IServerPort, server))) {
                Platform::ComPtr<IUnknown> service;
                ASSERT_EQ(server->GetService(18, 0, service.put()), S_OK);
                Platform::ComPtr<IItemService> items;
                ASSERT_EQ(Platform::queryInterfaceNoThrow(service.get(), IID_IItemService, items),
                          S_OK);
                Bytes item(kShared.size());
                ULONG count = static_cast<ULONG>(item.size());
                Platform::Bstr name(u"/shared");
                ASSERT_EQ(items->GetItem(name.get(), &count, item.data()), S_OK);
                EXPECT_EQ(item, kShared);
            }

            std::uint32_t mode = 0, atime = 0, mtime = 0, ctime = 0;
            EFSLStat(port, timeout, kSubsystem).Execute(path, mode, atime, mtime, ctime);
            EXPECT_EQ(mode & Efs2::kModeTypeMask, Efs2::kModeRegular);

            const std::u16string renamed = path + u".old";
            CEFSRename(port, timeout, kSubsystem).Execute(path, renamed);
            EFSDir directory(port, timeout, kSubsystem);
            directory.OpenDir(text16(home));
            const auto entries = directory.ReadAll();
            ASSERT_EQ(entries.size(), 1u);
            EXPECT_EQ(entries[0].name(), renamed.substr(home.size() + 1));
            EXPECT_EQ(entries[0].size(), content.size());
            EFSUnlink(port, timeout, kSubsystem).Execute(renamed);
        }
        Diag::Efs::Commands::RmDir(port, timeout, kSubsystem).Execute(text16(home));
    } catch (const CEFSException& e) {
        ADD_FAILURE() << "thread " << thread << ": " << e.GetMessage() << " (" << e.GetCode()
                      << ")";
    }
}

void runThreads(IUnknown* port, std::uint32_t timeout)
{
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back(work, port, timeout, i);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
}

} // namespace

TEST(SharedPorts, ManyThreadsOnOneEmulatedPort)
{
    const auto handset = newHandset();
    const auto log = std::make_shared<Emulator::LogBook>();
    const auto port = Emulator::EmulatedPort::create(handset, 1, log);

    // Meanwhile answers for another offset keep coming, one at a time: some
    // thread's READ is asked again, after a line in the shared log.
    std::atomic<bool> done{false};
    std::thread stale([&] {
        while (!done) {
            if (handset->pendingFaults() == 0) {
                handset->queueFault(Emulator::Fault::staleOffset().on(Efs2::Read));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    runThreads(port.get(), 2);
    done = true;
    stale.join();
    handset->clearFaults();

    EXPECT_FALSE(log->lines().empty());
    EXPECT_EQ(handset->openDescriptors(), 0u);
    EXPECT_EQ(handset->openDirectories(), 0u);
}

#if !defined(_WIN32)

TEST(SharedPorts, ManyThreadsOnOneSerialPort)
{
    const auto handset = newHandset();
    Transport::PtyHandsetServer server(handset);
    server.start();
    const auto port = Transport::SerialPort::open({server.slavePath(), 115200});

    runThreads(port.get(), 10000);

    const auto counters = static_cast<Transport::SerialPort*>(port.get())->counters();
    EXPECT_EQ(counters.badFrames, 0u);
    EXPECT_EQ(counters.framesDropped, 0u);
    EXPECT_EQ(counters.framesAnswered, server.counters().requests);
    EXPECT_EQ(handset->openDescriptors(), 0u);
    EXPECT_EQ(handset->openDirectories(), 0u);
}

#endif
