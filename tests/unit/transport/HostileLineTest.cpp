// Whole operations through the serial port over a line that damages, loses,
// delays and adds frames, to the emulated handset on a pseudo-terminal. Each
// operation either gives exactly what the handset holds, or fails with the
// protocol's exception within its timeout; after a failure the next
// operation works; and the ports' counters agree with what the line says
// crossed it.
//
// The line and the operations follow one seed. VORNAK_SOAK_OPERATIONS and
// VORNAK_SOAK_SEED change the run (scripts/soak runs it long).
#if !defined(_WIN32)

#include "comserver/ComObject.h"
#include "diag/CEFSException.h"
#include "diag/EFSLStat.h"
#include "diag/EFSMkDir.h"
#include "diag/EFSOpen.h"
#include "diag/EFSRmDir.h"
#include "diag/ReservedSlots.h"
#include "efs/EFSDir.h"
#include "efs/File.h"
#include "support/HostileLine.h"
#include "transport/PtyHandsetServer.h"
#include "transport/SerialPort.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <random>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
namespace Efs2 = Diag::Efs2;

constexpr std::uint8_t kSubsystem = Efs2::kFileSubsystem;
constexpr std::uint32_t kTimeout = 40;          // while the line does damage
constexpr std::uint32_t kCalmTimeout = 5000;    // for the operation after a failure
constexpr std::uint32_t kLateness = 2000;       // what a loaded machine may add to a timeout
const std::size_t kReadSizes[] = {0, 1, 511, 512, 513, 1500, 4000};

std::uint64_t fromEnvironment(const char* name, std::uint64_t fallback)
{
    const char* text = std::getenv(name);
    return text != nullptr ? std::strtoull(text, nullptr, 10) : fallback;
}

TestSupport::LineDamage damage(bool towardsClient)
{
    TestSupport::LineDamage d;
    d.flipBit = 4;
    d.dropByte = 3;
    d.duplicateByte = 3;
    d.cutShort = 2;
    d.garbage = 3;
    d.unsolicited = towardsClient ? 8 : 0;
    d.lose = 2;
    d.shortStall = 6;
    d.longStall = 1;
    d.shortStallMs = 5;
    d.longStallMs = 2 * kTimeout + 20;
    return d;
}

Emulator::FileSystem handsetFiles()
{
    Emulator::Limits limits;
    // Descriptors whose CLOSE the line lost stay open on the handset.
    limits.maxOpenFiles = 1u << 16;
    limits.maxOpenDirectories = 1u << 16;
    Emulator::FileSystem fileSystem(limits, [] { return 1'700'000'000u; });
    std::mt19937 random(7);
    for (const std::size_t size : kReadSizes) {
        Bytes bytes(size);
        std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<std::uint8_t>(random()); });
        const std::string path = "/r/" + std::to_string(size);
        fileSystem.addFile(std::u16string(path.begin(), path.end()), bytes);
    }
    fileSystem.addDirectory(u"/w");
    return fileSystem;
}

// A port in front of the serial port that measures each call against its timeout.
class TimedPort final : public ComServer::ComObject<TimedPort, IDiagPort> {
public:
    explicit TimedPort(IDiagPort* inner)
        : inner_(inner)
    {}
    static std::span<const ComServer::InterfaceEntry<TimedPort>> interfaceTable()
    {
        static constexpr ComServer::InterfaceEntry<TimedPort> table[] = {
            ComServer::interfaceEntry<TimedPort, IDiagPort>(IID_IDiagPort),
        };
        return table;
    }
    VORNAK_RESERVED_SLOTS_1_TO_3
    HRESULT STDMETHODCALLTYPE SendRequest(ULONG length, const BYTE* request, ULONG constant1,
                                          ULONG constant0, ULONG timeout, USHORT* responseLength,
                                          BYTE* response) override
    {
        const auto start = Clock::now();
        const HRESULT hr = inner_->SendRequest(length, request, constant1, constant0, timeout,
                                               responseLength, response);
        const auto took =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        EXPECT_LE(took, timeout + kLateness) << "a request outlived its timeout";
        return hr;
    }

private:
    Platform::ComPtr<IDiagPort> inner_;
};

class HostileLineTest : public ::testing::Test {
protected:
    HostileLineTest()
        : handset(std::make_shared<Emulator::Handset>(handsetFiles()))
        , server(handset)
    {
        server.start();
    }

    // One operation of the kind `kind`, checked against the handset when it
    // succeeds. Returns false when it failed with the protocol's exception.
    bool operate(unsigned kind, std::mt19937_64& random, std::uint32_t timeout)
    {
        try {
            switch (kind) {
            case 0:
                readFile(kReadSizes[random() % std::size(kReadSizes)], timeout);
                break;
            case 1:
                writeFile(random, timeout);
                break;
            case 2:
                statFile(kReadSizes[random() % std::size(kReadSizes)], timeout);
                break;
            case 3:
                listFiles(timeout);
                break;
            default:
                toggleDirectory(timeout);
                break;
            }
            return true;
        } catch (const CEFSException& e) {
            ++failures[e.GetCode()];
            EXPECT_FALSE(e.GetCode() >= 2 && e.GetCode() <= EFSERR_DEVICE_UNKNOWN)
                << "the handset saw a request it should not have: " << e.GetCode();
            return false;
        }
    }

    static std::u16string readPath(std::size_t size)
    {
        const std::string text = "/r/" + std::to_string(size);
        return std::u16string(text.begin(), text.end());
    }

    Rc::Pointer<Efs::FileBase> open(const std::u16string& path, std::uint32_t flags,
                                    std::uint32_t timeout)
    {
        const std::int32_t fd = Diag::Efs::Open(port.get(), timeout, kSubsystem)
                                    .Execute(path, flags, Efs2::kModeReadWrite);
        return Rc::makeHeap<Efs::File, Efs::FileBase>(fd, port.get(), timeout, kSubsystem);
    }

    void readFile(std::size_t size, std::uint32_t timeout)
    {
        const std::u16string path = readPath(size);
        Bytes bytes(size + 600);
        bytes.resize(open(path, Efs2::kOpenReadOnly, timeout)
                         ->Read(bytes.data(), static_cast<std::uint32_t>(bytes.size())));
        Bytes truth;
        handset->readFile(path, truth);
        EXPECT_EQ(bytes, truth) << "wrong bytes reached the caller";
    }

    void writeFile(std::mt19937_64& random, std::uint32_t timeout)
    {
        const std::string text = "/w/" + std::to_string(random() % 4);
        const std::u16string path(text.begin(), text.end());
        Bytes bytes(random() % 1600);
        std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<std::uint8_t>(random()); });
        EXPECT_EQ(open(path, Efs2::kOpenCreateForWriting, timeout)
                      ->Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), nullptr),
                  bytes.size());
        Bytes truth;
        handset->readFile(path, truth);
        EXPECT_EQ(bytes, truth) << "the handset holds other bytes than were written";
    }

    void statFile(std::size_t size, std::uint32_t timeout)
    {
        std::uint32_t mode = 0, atime = 0, mtime = 0, ctime = 0;
        EFSLStat(port.get(), timeout, kSubsystem).Execute(readPath(size), mode, atime, mtime, ctime);
        Emulator::Attributes truth;
        handset->stat(readPath(size), truth);
        EXPECT_EQ((std::vector<std::uint32_t>{mode, atime, mtime, ctime}),
                  (std::vector<std::uint32_t>{truth.mode, truth.accessTime,
                                              truth.modificationTime, truth.creationTime}))
            << "wrong attributes reached the caller";
    }

    void listFiles(std::uint32_t timeout)
    {
        EFSDir directory(port.get(), timeout, kSubsystem);
        directory.OpenDir(u"/r");
        std::map<std::u16string, std::uint32_t> listed;
        for (const auto& entry : directory.ReadAll()) {
            listed[entry.name()] = entry.size();
        }
        std::map<std::u16string, std::uint32_t> truth;
        for (const std::size_t size : kReadSizes) {
            truth[readPath(size).substr(3)] = static_cast<std::uint32_t>(size);
        }
        EXPECT_EQ(listed, truth) << "a wrong listing reached the caller";
    }

    void toggleDirectory(std::uint32_t timeout)
    {
        Emulator::Attributes attributes;
        const bool exists = handset->stat(u"/m", attributes) == 0;
        if (exists) {
            Diag::Efs::Commands::RmDir(port.get(), timeout, kSubsystem).Execute(u"/m");
        } else {
            CEFSMkDir(port.get(), timeout, kSubsystem).Execute(u"/m", 0755);
        }
        EXPECT_EQ(handset->stat(u"/m", attributes) == 0, !exists);
    }

    std::shared_ptr<Emulator::Handset> handset;
    Transport::PtyHandsetServer server;
    Platform::ComPtr<IDiagPort> serial;
    Platform::ComPtr<IDiagPort> port;
    std::map<std::uint32_t, std::size_t> failures; // by code
};

TEST_F(HostileLineTest, EveryOperationIsExactOrFailsClearlyAndTheNextWorks)
{
    const std::uint64_t operations = fromEnvironment("VORNAK_SOAK_OPERATIONS", 2000);
    const std::uint64_t seed = fromEnvironment("VORNAK_SOAK_SEED", 1);
    TestSupport::HostileLine line(server.slavePath(), seed, damage(false), damage(true));
    serial = Transport::SerialPort::open({line.clientDevice(), 115200});
    port = TimedPort::make<IDiagPort>(serial.get());

    std::mt19937_64 random(seed);
    std::size_t failed = 0;
    for (std::uint64_t i = 0; i < operations && !HasFailure(); ++i) {
        if (operate(static_cast<unsigned>(random() % 5), random, kTimeout)) {
            continue;
        }
        ++failed;
        // The next operation works once the line behaves.
        line.setDamaging(false);
        EXPECT_TRUE(operate(0, random, kCalmTimeout)) << "no recovery after operation " << i;
        line.setDamaging(true);
    }

    // Everything that crossed the line is counted once at each end.
    line.setDamaging(false);
    line.waitUntilIdle();
    EXPECT_TRUE(operate(2, random, kCalmTimeout));
    const auto toHandset = line.toHandset();
    const auto toClient = line.toClient();
    const auto client = static_cast<Transport::SerialPort*>(serial.get())->counters();
    const auto handsetSide = server.counters();
    EXPECT_EQ(client.bytesSent, toHandset.bytesTaken);
    EXPECT_EQ(client.bytesReceived, toClient.bytesDelivered);
    EXPECT_EQ(client.framesAnswered + client.framesDropped, toClient.goodFrames);
    EXPECT_EQ(client.badFrames, toClient.badFrames);
    EXPECT_EQ(handsetSide.requests, toHandset.goodFrames);
    EXPECT_EQ(handsetSide.badFrames, toHandset.badFrames);

    std::string summary;
    for (const auto& [code, count] : failures) {
        summary += " " + std::to_string(count) + "x" + std::to_string(code);
    }
    std::printf("%llu operations, %zu failed (by code:%s); frames damaged %llu of %llu to the "
                "handset, %llu of %llu to the client; the client dropped %llu and refused %llu, "
                "and sent %llu probes\n",
                static_cast<unsigned long long>(operations), failed, summary.c_str(),
                static_cast<unsigned long long>(toHandset.damaged),
                static_cast<unsigned long long>(toHandset.frames),
                static_cast<unsigned long long>(toClient.damaged),
                static_cast<unsigned long long>(toClient.frames),
                static_cast<unsigned long long>(client.framesDropped),
                static_cast<unsigned long long>(client.badFrames),
                static_cast<unsigned long long>(client.probes));
    EXPECT_GT(failed, 0u) << "the line did no harm: the test proves nothing";
}

} // namespace

#endif
