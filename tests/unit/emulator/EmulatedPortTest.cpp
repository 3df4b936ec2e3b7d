// The handset behind IDiagPort: a counted COM object that keeps to the
// caller's capacity, acts out port faults and serves several threads.
#include "support/Packet.h"

#include "diag/DeviceError.h"
#include "emulator/EmulatedPort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

using namespace Emulator;
using namespace TestSupport;
namespace Efs2 = Diag::Efs2;

namespace {

constexpr std::uint8_t kUntouched = 0xCC;

// One SendRequest; the response, or nothing when the port failed.
Bytes transact(IDiagPort* port, const Bytes& request, HRESULT* result = nullptr,
               USHORT capacity = 1100, ULONG timeout = 1000)
{
    Bytes buffer(capacity + 16u, kUntouched);
    USHORT length = capacity;
    const HRESULT hr = port->SendRequest(static_cast<ULONG>(request.size()), request.data(), 1, 0,
                                         timeout, &length, buffer.data());
    if (result != nullptr) {
        *result = hr;
    }
    EXPECT_LE(length, capacity);
    // Nothing is written beyond the response.
    EXPECT_TRUE(std::all_of(buffer.begin() + length, buffer.end(),
                            [](std::uint8_t b) { return b == kUntouched; }));
    return FAILED(hr) ? Bytes() : Bytes(buffer.begin(), buffer.begin() + length);
}

class EmulatedPortTest : public ::testing::Test {
protected:
    EmulatedPortTest() { handset->writeFile(u"/a.txt", bytesOf("hello")); }
    void TearDown() override
    {
        EXPECT_EQ(handset->openDescriptors(), 0u);
        EXPECT_EQ(handset->openDirectories(), 0u);
    }

    std::shared_ptr<Handset> handset = std::make_shared<Handset>();
    Platform::ComPtr<IDiagPort> port = EmulatedPort::create(handset);
};

} // namespace

// Counting and QueryInterface are the object base's (comserver_tests).
TEST_F(EmulatedPortTest, IsACountedComObject)
{
    // The last release frees the port and its share of the handset.
    EXPECT_EQ(handset.use_count(), 2);
    port.reset();
    EXPECT_EQ(handset.use_count(), 1);
}

TEST_F(EmulatedPortTest, NeverWritesBeyondTheCapacity)
{
    HRESULT hr = S_OK;
    const Bytes open = Packet(Efs2::Open).u32(0).u32(0).text("/a.txt");
    EXPECT_EQ(transact(port.get(), open, &hr, 12), Bytes(Packet(Efs2::Open).u32(0).u32(0)));
    const Bytes read = Packet(Efs2::Read).u32(0).u32(512).u32(0);
    EXPECT_EQ(transact(port.get(), read, &hr, 25).size(), 25u);
    EXPECT_EQ(transact(port.get(), read, &hr, 532).size(), 25u);
    EXPECT_EQ(transact(port.get(), read, &hr, 24), Bytes());
    EXPECT_EQ(hr, EmulatedPort::kResponseTooLarge);
    EXPECT_EQ(transact(port.get(), read, &hr, 0), Bytes());
    EXPECT_EQ(hr, EmulatedPort::kResponseTooLarge);

    // The handset carried out the request whose response was lost.
    EXPECT_EQ(transact(port.get(), open, &hr, 11), Bytes());
    EXPECT_EQ(handset->openDescriptors(), 2u);
    for (std::uint32_t fd : {0u, 1u}) {
        EXPECT_EQ(transact(port.get(), Packet(Efs2::Close).u32(fd)),
                  Bytes(Packet(Efs2::Close).u32(0)));
    }

    USHORT length = 8;
    std::uint8_t response[8] = {};
    EXPECT_EQ(port->SendRequest(8, nullptr, 1, 0, 0, &length, response), E_POINTER);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(port->SendRequest(0, nullptr, 1, 0, 0, nullptr, response), E_POINTER);
}

TEST_F(EmulatedPortTest, ActsOutPortFaults)
{
    using Clock = std::chrono::steady_clock;
    const Bytes lstat = Packet(Efs2::LStat).text("/a.txt");
    HRESULT hr = S_OK;

    const HRESULT denied = static_cast<HRESULT>(0x80070005u);
    handset->queueFault(Fault::portFailure(denied));
    EXPECT_EQ(transact(port.get(), lstat, &hr), Bytes());
    EXPECT_EQ(hr, denied);

    handset->queueFault(Fault::exception());
    EXPECT_THROW(transact(port.get(), lstat), std::runtime_error);

    // A silent handset costs the caller's whole timeout; latency only delays.
    handset->queueFault(Fault::noAnswer());
    auto start = Clock::now();
    EXPECT_EQ(transact(port.get(), lstat, &hr, 1100, 40), Bytes());
    EXPECT_EQ(hr, EmulatedPort::kTimedOut);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(40));

    handset->queueFault(Fault::latency(30));
    start = Clock::now();
    EXPECT_EQ(transact(port.get(), lstat, &hr).size(), 24u);
    EXPECT_EQ(hr, S_OK);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(30));
    EXPECT_EQ(handset->pendingFaults(), 0u);
}

TEST_F(EmulatedPortTest, ServesSeveralThreadsAtOnce)
{
    // Each thread writes its own file and reads it back, through the shared
    // port or one of its own; all of them race to make the same directory.
    std::atomic<int> failures{0};
    std::atomic<int> made{0};
    std::vector<std::thread> threads;
    for (std::uint32_t t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const Platform::ComPtr<IDiagPort> own = EmulatedPort::create(handset);
            IDiagPort* use = t % 2 == 0 ? port.get() : own.get();
            const std::string path = "/t" + std::to_string(t);
            const std::uint32_t fd =
                field32(transact(use, Packet(Efs2::Open).u32(0x242).u32(0644).text(path)), 4);
            for (std::uint32_t i = 0; i < 32; ++i) {
                const std::string data(512, static_cast<char>('A' + t + i));
                transact(use, Packet(Efs2::Write).u32(fd).u32(i * 512).raw(data));
                const Bytes back = transact(use, Packet(Efs2::Read).u32(fd).u32(512).u32(i * 512));
                const Bytes expected =
                    Packet(Efs2::Read).u32(fd).u32(i * 512).u32(512).u32(0).raw(data);
                failures += back == expected ? 0 : 1;
            }
            transact(use, Packet(Efs2::Close).u32(fd));
            const Bytes mkdir = transact(use, Packet(Efs2::MkDir).u16(0755).text("/same"));
            made += field32(mkdir, 4) == kSuccess ? 1 : 0;
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(made, 1);
}
