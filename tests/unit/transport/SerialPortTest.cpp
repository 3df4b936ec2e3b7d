// The serial port against a pseudo-terminal: the test plays the handset on the
// master side, reading request frames and writing whatever frames a case needs.
#include "transport/SerialPort.h"

#include <gtest/gtest.h>

#include <stdexcept>

#if !defined(_WIN32)

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes frameOf(const Bytes& payload)
{
    Bytes out;
    Transport::Hdlc::appendFrame(payload.data(), payload.size(), out);
    return out;
}

// The master side of a pseudo-terminal whose slave the port opens.
class FakeHandset {
public:
    FakeHandset()
    {
        int slave = -1;
        char name[128] = {};
        if (openpty(&master_, &slave, name, nullptr, nullptr) != 0) {
            throw std::runtime_error("openpty failed");
        }
        termios mode{};
        tcgetattr(master_, &mode);
        cfmakeraw(&mode);
        tcsetattr(master_, TCSANOW, &mode);
        slaveName_ = name;
        slave_ = slave; // kept open so the line never hangs up between cases
    }
    ~FakeHandset()
    {
        ::close(master_);
        ::close(slave_);
    }

    std::string portText() const { return "serial:" + slaveName_; }

    // The next request frame the port sent, unescaped.
    Bytes readRequest()
    {
        Transport::Hdlc::FrameReader reader;
        std::uint8_t byte = 0;
        for (;;) {
            pollfd ready{master_, POLLIN, 0};
            if (::poll(&ready, 1, 5000) <= 0 || ::read(master_, &byte, 1) != 1) {
                return {};
            }
            std::size_t used = 0;
            if (reader.feed(&byte, 1, &used) == Transport::Hdlc::FrameReader::Status::Frame) {
                return reader.frame();
            }
        }
    }

    void write(const Bytes& bytes)
    {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slaveName_;
};

using Result = std::pair<HRESULT, Bytes>;

const Bytes kRequest{0x4B, 0x13, 0x03, 0x00, 0x05, 0x00, 0x00, 0x00};  // CLOSE fd 5
const Bytes kResponse{0x4B, 0x13, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00}; // errno 0

class SerialPortTest : public ::testing::Test {
protected:
    // Sends kRequest while the handset reads it and answers with `stream`,
    // one byte a write; returns the result and what landed in the buffer.
    Result exchange(const Bytes& stream, ULONG timeout = 2000, USHORT capacity = 64)
    {
        std::thread device([&] {
            EXPECT_EQ(handset.readRequest(), kRequest);
            for (std::uint8_t byte : stream) {
                handset.write({byte});
            }
        });
        Bytes buffer(capacity, 0xCC);
        USHORT length = capacity;
        const HRESULT hr = port->SendRequest(static_cast<ULONG>(kRequest.size()), kRequest.data(),
                                             1, 0, timeout, &length, buffer.data());
        device.join();
        buffer.resize(SUCCEEDED(hr) ? length : capacity);
        return {hr, buffer};
    }

    FakeHandset handset;
    Platform::ComPtr<IDiagPort> port =
        Transport::SerialPort::open(Transport::parseSerialPort(handset.portText()));
};

} // namespace

TEST_F(SerialPortTest, DropsUnsolicitedPacketsAndNoiseAndTakesErrorResponses)
{
    Bytes stream{0x01, 0x02, 0x7E};                            // line noise, ending in a flag
    for (const Bytes& packet : {Bytes{0x10, 0x00, 0x12, 0x00}, // a log packet
                                Bytes{0x60, 0x01, 0x02},       // an event
                                Bytes{0x79, 0x00, 0x01},       // a message
                                kResponse}) {
        const Bytes frame = frameOf(packet);
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    EXPECT_EQ(exchange(stream), Result(S_OK, kResponse));
    auto* serial = static_cast<Transport::SerialPort*>(port.get());
    EXPECT_EQ(serial->counters().framesDropped, 3u);
    EXPECT_EQ(serial->counters().badFrames, 1u);

    // A diagnostic error response (command 0x13 and the request) answers too.
    Bytes badCommand{0x13};
    badCommand.insert(badCommand.end(), kRequest.begin(), kRequest.end());
    EXPECT_EQ(exchange(frameOf(badCommand)), Result(S_OK, badCommand));
}

// After a request went unanswered, its answer may come while the next one
// waits: the port first sends a probe and drops every frame before the
// probe's answer, so a late answer is never taken for the next.
TEST_F(SerialPortTest, ALateAnswerIsNeverTakenForTheNext)
{
    EXPECT_EQ(exchange({}, 100).first, Transport::kTimeoutResult);
    const Bytes late{0x4B, 0x13, 0x03, 0x00, 0x09, 0x00, 0x00, 0x00};
    std::thread device([&] {
        const Bytes probe = handset.readRequest();
        ASSERT_EQ(probe.size(), 16u);
        EXPECT_EQ(Bytes(probe.begin(), probe.begin() + 12),
                  (Bytes{0x4B, 0x13, 0x04, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}));
        handset.write(frameOf(late)); // after the probe went out
        // Header and descriptor, the probe's offset, nothing read, EBADF.
        Bytes answer(probe.begin(), probe.begin() + 8);
        answer.insert(answer.end(), probe.begin() + 12, probe.end());
        answer.insert(answer.end(), {0, 0, 0, 0, 9, 0, 0, 0});
        handset.write(frameOf(answer));
        EXPECT_EQ(handset.readRequest(), kRequest);
        handset.write(frameOf(kResponse));
    });
    Bytes buffer(64);
    USHORT length = 64;
    EXPECT_EQ(port->SendRequest(static_cast<ULONG>(kRequest.size()), kRequest.data(), 1, 0, 2000,
                                &length, buffer.data()),
              S_OK);
    device.join();
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + length), kResponse);
    const auto counters = static_cast<Transport::SerialPort*>(port.get())->counters();
    EXPECT_EQ(counters.probes, 1u);
    EXPECT_EQ(counters.framesDropped, 1u);  // the late answer
    EXPECT_EQ(counters.framesAnswered, 2u); // the probe's, then the request's

    // Settled again: the next request goes out alone.
    EXPECT_EQ(exchange(frameOf(kResponse)), Result(S_OK, kResponse));
    EXPECT_EQ(static_cast<Transport::SerialPort*>(port.get())->counters().probes, 1u);
}

TEST_F(SerialPortTest, NeverWritesPastTheCallersBuffer)
{
    EXPECT_EQ(exchange(frameOf(kResponse), 2000, 7),
              Result(Transport::kBufferTooSmallResult, Bytes(7, 0xCC)));
    USHORT length = 8;
    EXPECT_EQ(port->SendRequest(0, nullptr, 1, 0, 100, &length, nullptr), E_POINTER);
}

TEST(SerialPort, MissingDeviceIsASystemError)
{
    EXPECT_THROW(Transport::SerialPort::open(Transport::parseSerialPort("serial:/dev/vornak-none")),
                 std::system_error);
}

#endif

TEST(SerialSpec, DeviceAndBaudRate)
{
    const auto posix = Transport::parseSerialPort("serial:/dev/ttyUSB0");
    EXPECT_EQ(posix.device, "/dev/ttyUSB0");
    EXPECT_EQ(posix.baud, 115200u);
    const auto windows = Transport::parseSerialPort("serial:COM3:921600");
    EXPECT_EQ(windows.device, "COM3");
    EXPECT_EQ(windows.baud, 921600u);
    for (const char* bad :
         {"", "serial:", "serial::9600", "serial:/dev/x:fast", "serial:/dev/x:0", "tcp:host:1"}) {
        EXPECT_THROW(Transport::parseSerialPort(bad), std::invalid_argument) << bad;
    }
}
