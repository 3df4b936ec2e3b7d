// The port against the emulated handset served on a pseudo-terminal and on a
// loopback TCP port: every byte crosses the line in HDLC frames both ways.
// Whole files of every size around the packet's make the same journey in
// vornak-efs's tests (ServedHandset) and the interop client's.
#if !defined(_WIN32)

#include "transport/PtyHandsetServer.h"
#include "transport/TcpHandsetServer.h"

#include "diag/EFSLStat.h"
#include "transport/SerialPort.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kTimeout = 2000;
constexpr std::uint8_t kSubsystem = Diag::Efs2::kFileSubsystem;

enum class Served { OnTerminal, OnTcp };

class HandsetServerTest : public ::testing::TestWithParam<Served> {
protected:
    HandsetServerTest()
        : handset(std::make_shared<Emulator::Handset>())
    {
        if (GetParam() == Served::OnTerminal) {
            auto pty = std::make_unique<Transport::PtyHandsetServer>(handset);
            portText = "serial:" + pty->slavePath();
            server = std::move(pty);
        } else {
            auto tcp = std::make_unique<Transport::TcpHandsetServer>(
                handset, Transport::TcpAddress{"127.0.0.1", 0});
            portText = "tcp:" + tcp->address().text();
            server = std::move(tcp);
        }
        server->start();
        port = Transport::SerialPort::open(openLine());
    }

    std::unique_ptr<Transport::Line> openLine()
    {
        return Transport::openLine(portText, std::chrono::milliseconds(kTimeout));
    }

    Transport::SerialPort& serial() { return *static_cast<Transport::SerialPort*>(port.get()); }

    // One LSTAT of the root, sent as raw bytes.
    HRESULT sendLStat(ULONG timeout)
    {
        const Bytes request{0x4B, kSubsystem, 0x10, 0x00, '/', 0x00};
        Bytes response(64);
        USHORT length = static_cast<USHORT>(response.size());
        return port->SendRequest(static_cast<ULONG>(request.size()), request.data(), 1, 0, timeout,
                                 &length, response.data());
    }

    std::shared_ptr<Emulator::Handset> handset;
    std::unique_ptr<Transport::HandsetServer> server;
    std::string portText;
    Platform::ComPtr<IDiagPort> port;
};

INSTANTIATE_TEST_SUITE_P(Lines, HandsetServerTest,
                         ::testing::Values(Served::OnTerminal, Served::OnTcp),
                         [](const auto& served) {
                             return served.param == Served::OnTerminal ? "Terminal" : "Tcp";
                         });

TEST_P(HandsetServerTest, DropsDamagedFramesAndAnswersTheNextRequest)
{
    Bytes damaged;
    const Bytes request{0x4B, kSubsystem, 0x10, 0x00, '/', 0x00};
    Transport::Hdlc::appendFrame(request.data(), request.size(), damaged);
    damaged[0] ^= 0x01;                     // check sum no longer matches
    damaged.insert(damaged.end(), 5000, 0); // longer than any request
    damaged.push_back(Transport::Hdlc::kFlag);
    // The TCP server takes one client at a time: the port's goes first.
    port = nullptr;
    openLine()->write(damaged.data(), damaged.size(),
                      std::chrono::steady_clock::now() + std::chrono::seconds(2));
    port = Transport::SerialPort::open(openLine());

    EXPECT_EQ(sendLStat(kTimeout), S_OK);
    EXPECT_EQ(server->counters().badFrames, 2u);
    EXPECT_EQ(server->counters().requests, 1u);
}

TEST_P(HandsetServerTest, ActsOutTheFaultsOfAPort)
{
    handset->queueFault(Emulator::Fault::noAnswer());
    EXPECT_EQ(sendLStat(200), Transport::kTimeoutResult);
    EXPECT_EQ(server->counters().unanswered, 1u);

    // A failing port garbles its frame: the client drops it and times out.
    handset->queueFault(Emulator::Fault::portFailure(E_FAIL));
    EXPECT_EQ(sendLStat(300), Transport::kTimeoutResult);
    EXPECT_EQ(serial().counters().badFrames, 1u);

    handset->queueFault(Emulator::Fault::latency(50));
    EXPECT_EQ(sendLStat(kTimeout), S_OK);

    // A device error travels in the response, as any other answer.
    handset->queueFault(Emulator::Fault::errorResponse(2));
    std::uint32_t mode = 0, atime = 0, mtime = 0, ctime = 0;
    try {
        EFSLStat(port.get(), kTimeout, kSubsystem).Execute(u"/", mode, atime, mtime, ctime);
        ADD_FAILURE() << "the error response was taken for an answer";
    } catch (const CEFSException& e) {
        EXPECT_EQ(e.GetCode(), 3u);
    }
}

TEST_P(HandsetServerTest, StopsInTheMiddleOfALongPause)
{
    handset->queueFault(Emulator::Fault::latency(10 * 60 * 1000));
    EXPECT_EQ(sendLStat(100), Transport::kTimeoutResult);
    server->stop(); // hangs here if the pause ignores the request to stop
    EXPECT_EQ(server->counters().unanswered, 1u);
}

TEST(TcpHandsetServer, ServesOneClientAfterAnother)
{
    Transport::TcpHandsetServer server(std::make_shared<Emulator::Handset>(),
                                       Transport::TcpAddress{"127.0.0.1", 0});
    ASSERT_NE(server.address().port, 0u);
    server.start();
    const std::string text = "tcp:" + server.address().text();
    const auto connect = [&] {
        return Transport::SerialPort::open(
            Transport::openLine(text, std::chrono::milliseconds(kTimeout)));
    };
    const Bytes request{0x4B, kSubsystem, 0x10, 0x00, '/', 0x00};
    const auto lstat = [&](IDiagPort* port, ULONG timeout) {
        Bytes response(64);
        USHORT length = static_cast<USHORT>(response.size());
        return port->SendRequest(static_cast<ULONG>(request.size()), request.data(), 1, 0, timeout,
                                 &length, response.data());
    };

    // A client that leaves in the middle of a frame spoils nothing for the next.
    {
        Bytes half;
        Transport::Hdlc::appendFrame(request.data(), request.size(), half);
        half.resize(3);
        Transport::openLine(text, std::chrono::milliseconds(kTimeout))
            ->write(half.data(), half.size(),
                    std::chrono::steady_clock::now() + std::chrono::seconds(2));
    }
    auto first = connect();
    EXPECT_EQ(lstat(first.get(), kTimeout), S_OK);
    // The next client waits while the first is served, then has its turn.
    auto second = connect();
    EXPECT_EQ(lstat(second.get(), 200), Transport::kTimeoutResult);
    first = nullptr;
    EXPECT_EQ(lstat(second.get(), kTimeout), S_OK);

    server.stop(); // with a client still connected
    EXPECT_EQ(server.counters().clients, 3u);
    EXPECT_EQ(server.counters().badFrames, 0u);
}

TEST(TcpHandsetServer, AnAddressInUseIsASystemError)
{
    Transport::TcpHandsetServer first(std::make_shared<Emulator::Handset>(),
                                      Transport::TcpAddress{"127.0.0.1", 0});
    EXPECT_THROW(
        Transport::TcpHandsetServer(std::make_shared<Emulator::Handset>(), first.address()),
        std::system_error);
}

} // namespace

#endif
