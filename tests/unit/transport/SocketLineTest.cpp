// The TCP line: its address as people write it, and the port over it against
// a handset the test plays on a loopback socket. Winsock (under Wine) as
// well as POSIX sockets.

// Winsock before anything that includes windows.h.
#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "transport/SerialPort.h"
#include "transport/SocketLine.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

#if defined(_WIN32)
using Socket = SOCKET;
void closeSocket(Socket socket)
{
    ::closesocket(socket);
}
#else
using Socket = int;
void closeSocket(Socket socket)
{
    ::close(socket);
}
#endif

Bytes frameOf(const Bytes& payload)
{
    Bytes out;
    Transport::Hdlc::appendFrame(payload.data(), payload.size(), out);
    return out;
}

// The handset's end: listens on the loopback, takes one connection, reads
// request frames and writes whatever bytes a case needs.
class LoopbackHandset {
public:
    LoopbackHandset()
    {
#if defined(_WIN32)
        WSADATA data{};
        WSAStartup(MAKEWORD(2, 2), &data);
#endif
        listening_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(listening_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(listening_, 1) != 0 ||
            ::getsockname(listening_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            throw std::runtime_error("cannot listen on the loopback");
        }
        port_ = ntohs(address.sin_port);
    }
    ~LoopbackHandset()
    {
        hangUp();
        closeSocket(listening_);
    }

    std::string portText() const
    {
        return "tcp:127.0.0.1:" + std::to_string(port_);
    }

    void accept()
    {
        client_ = ::accept(listening_, nullptr, nullptr);
    }

    // The next request frame, unescaped; empty when none came within 5 s.
    Bytes readRequest()
    {
        Transport::Hdlc::FrameReader reader;
        char byte = 0;
        for (;;) {
            fd_set ready;
            FD_ZERO(&ready);
            FD_SET(client_, &ready);
            timeval wait{5, 0};
            if (::select(static_cast<int>(client_) + 1, &ready, nullptr, nullptr, &wait) <= 0 ||
                ::recv(client_, &byte, 1, 0) != 1) {
                return {};
            }
            std::size_t used = 0;
            const auto* data = reinterpret_cast<const std::uint8_t*>(&byte);
            if (reader.feed(data, 1, &used) == Transport::Hdlc::FrameReader::Status::Frame) {
                return reader.frame();
            }
        }
    }

    void write(const Bytes& bytes)
    {
        for (std::uint8_t byte : bytes) { // one a packet, as a slow bridge sends them
            ::send(client_, reinterpret_cast<const char*>(&byte), 1, 0);
        }
    }

    void hangUp()
    {
        if (client_ != kNone) {
            closeSocket(client_);
            client_ = kNone;
        }
    }

private:
#if defined(_WIN32)
    static constexpr Socket kNone = INVALID_SOCKET;
#else
    static constexpr Socket kNone = -1;
#endif
    Socket listening_ = kNone;
    Socket client_ = kNone;
    std::uint16_t port_ = 0;
};

const Bytes kRequest{0x4B, 0x13, 0x03, 0x00, 0x05, 0x00, 0x00, 0x00};  // CLOSE fd 5
const Bytes kResponse{0x4B, 0x13, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00}; // errno 0

class SocketLineTest : public ::testing::Test {
protected:
    SocketLineTest()
    {
        std::thread accepting([&] { handset.accept(); });
        port = Transport::SerialPort::open(Transport::openLine(handset.portText(), 2000ms));
        accepting.join();
    }

    // Sends kRequest while the handset reads it and does `answer`.
    template <class Answer>
    std::pair<HRESULT, Bytes> exchange(Answer answer, ULONG timeout = 2000)
    {
        std::thread device([&] {
            EXPECT_EQ(handset.readRequest(), kRequest);
            answer();
        });
        Bytes buffer(64, 0xCC);
        USHORT length = static_cast<USHORT>(buffer.size());
        const HRESULT hr = port->SendRequest(static_cast<ULONG>(kRequest.size()), kRequest.data(),
                                             1, 0, timeout, &length, buffer.data());
        device.join();
        buffer.resize(SUCCEEDED(hr) ? length : 0);
        return {hr, buffer};
    }

    LoopbackHandset handset;
    Platform::ComPtr<IDiagPort> port;
};

TEST_F(SocketLineTest, CarriesTheSameFramesAsASerialLine)
{
    // A log packet first, and every byte in a packet of its own.
    Bytes stream = frameOf({0x10, 0x00, 0x12, 0x00});
    const Bytes answer = frameOf(kResponse);
    stream.insert(stream.end(), answer.begin(), answer.end());
    EXPECT_EQ(exchange([&] { handset.write(stream); }), std::make_pair(S_OK, kResponse));
    EXPECT_EQ(static_cast<Transport::SerialPort*>(port.get())->counters().framesDropped, 1u);
}

TEST_F(SocketLineTest, SilenceIsATimeoutAndAClosedConnectionALineFailure)
{
    EXPECT_EQ(exchange([] {}, 100).first, Transport::kTimeoutResult);
    // The late answer may yet come, so the port's next request is a probe (a
    // READ on a descriptor no handset gives out); this handset hangs up on it.
    const auto start = std::chrono::steady_clock::now();
    std::thread device([&] {
        Bytes probe = handset.readRequest();
        probe.resize(8);
        EXPECT_EQ(probe, (Bytes{0x4B, 0x13, 0x04, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}));
        handset.hangUp();
    });
    Bytes buffer(64);
    USHORT length = static_cast<USHORT>(buffer.size());
    EXPECT_EQ(port->SendRequest(static_cast<ULONG>(kRequest.size()), kRequest.data(), 1, 0, 5000,
                                &length, buffer.data()),
              Transport::kLineFailureResult);
    device.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s); // not waited out
}

TEST(SocketLine, APortNobodyListensOnRefusesTheConnection)
{
    std::string unused;
    {
        LoopbackHandset gone;
        unused = gone.portText();
    }
    try {
        Transport::openLine(unused, 2000ms);
        ADD_FAILURE() << "connected to " << unused;
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), std::errc::connection_refused) << e.what();
        EXPECT_NE(std::string(e.what()).find("127.0.0.1:"), std::string::npos) << e.what();
    }
}

TEST(TcpAddress, HostAndPort)
{
    using Transport::AnyPort;
    const struct {
        const char* written;
        const char* host;
        std::uint16_t port;
        const char* text;
    } good[] = {
        {"tcp:127.0.0.1:5000", "127.0.0.1", 5000, "127.0.0.1:5000"},
        {"tcp:localhost:65535", "localhost", 65535, "localhost:65535"},
        {"tcp:[::1]:7", "::1", 7, "[::1]:7"},
    };
    for (const auto& c : good) {
        const Transport::TcpAddress address = Transport::parseTcpAddress(c.written);
        EXPECT_EQ(address.host, c.host) << c.written;
        EXPECT_EQ(address.port, c.port) << c.written;
        EXPECT_EQ(address.text(), c.text) << c.written;
    }
    for (const char* bad :
         {"", "tcp:", "tcp:host", "tcp:host:", "tcp::5000", "tcp:[]:5", "tcp:host:0",
          "tcp:host:65536", "tcp:host:5x", "tcp:host:-1", "tcp:::1:5", "serial:/dev/ttyUSB0"}) {
        EXPECT_THROW(Transport::parseTcpAddress(bad), std::invalid_argument) << bad;
    }
    EXPECT_EQ(Transport::parseTcpAddress("tcp:127.0.0.1:0", AnyPort::Allowed).port, 0u);
    EXPECT_THROW(Transport::openLine("usb:1", 100ms), std::invalid_argument);
}

} // namespace
