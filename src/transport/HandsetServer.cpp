#include "transport/HandsetServer.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace Transport {

namespace {

// Frames longer than the handset's longest request are line noise.
constexpr std::size_t kMaxRequest = Emulator::Handset::kMaxRequest;
// How long a response may wait for room on the line before it is dropped: a
// client that stopped reading must not stall the server.
constexpr int kSendTimeoutMs = 1000;

[[noreturn]] void throwErrno(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

// write() for terminals, send() for sockets: a client that has gone away
// fails the call instead of raising SIGPIPE.
ssize_t writeSome(int stream, const std::uint8_t* data, std::size_t size)
{
    const ssize_t sent = ::send(stream, data, size, MSG_NOSIGNAL);
    if (sent < 0 && errno == ENOTSOCK) {
        return ::write(stream, data, size);
    }
    return sent;
}

} // namespace

void DescriptorTraits::close(int descriptor) noexcept
{
    ::close(descriptor);
}

HandsetServer::HandsetServer(std::shared_ptr<Emulator::Handset> handset)
    : handset_(std::move(handset))
    , reader_(kMaxRequest)
{
    int stopPipe[2];
    if (::pipe2(stopPipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        throwErrno("pipe");
    }
    stopReading_.reset(stopPipe[0]);
    stopWriting_.reset(stopPipe[1]);
    // Room enough that serving never allocates: the longest answer, every
    // byte escaped, its check sum and flag.
    response_.resize(handset_->responseCapacity());
    outgoing_.reserve(2 * response_.size() + 8);
}

HandsetServer::~HandsetServer()
{
    stop();
}

void HandsetServer::start()
{
    thread_ = std::thread([this] { run(); });
}

void HandsetServer::run()
{
    serveClients();
}

void HandsetServer::requestStop() noexcept
{
    const char byte = 1;
    // A full pipe already holds a request to stop.
    [[maybe_unused]] const ssize_t written = ::write(stopWriting_.get(), &byte, 1);
}

void HandsetServer::stop()
{
    requestStop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

HandsetServer::Counters HandsetServer::counters() const
{
    Counters result;
    result.requests = requests_.load();
    result.badFrames = badFrames_.load();
    result.unanswered = unanswered_.load();
    result.clients = clients_.load();
    return result;
}

void HandsetServer::drainStopRequests()
{
    char drained[16];
    while (::read(stopReading_.get(), drained, sizeof drained) > 0) {
    }
}

bool HandsetServer::waitReadable(int descriptor)
{
    for (;;) {
        pollfd ready[2] = {{descriptor, POLLIN, 0}, {stopReading_.get(), POLLIN, 0}};
        if (::poll(ready, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            throwErrno("poll");
        }
        if (ready[1].revents != 0) {
            drainStopRequests();
            return false;
        }
        if (ready[0].revents != 0) {
            return true;
        }
    }
}

bool HandsetServer::serveStream(int stream)
{
    // A new stream starts between frames, whatever the last one left.
    reader_.reset();
    std::array<std::uint8_t, 4096> incoming{};
    for (;;) {
        if (!waitReadable(stream)) {
            return false;
        }
        const ssize_t got = ::read(stream, incoming.data(), incoming.size());
        if (got == 0) {
            return true;
        }
        if (got < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                continue;
            }
            throwErrno("read");
        }
        std::size_t used = 0;
        while (used < static_cast<std::size_t>(got)) {
            switch (reader_.feed(incoming.data(), static_cast<std::size_t>(got), &used)) {
            case Hdlc::FrameReader::Status::NeedMore:
                break;
            case Hdlc::FrameReader::Status::BadCrc:
            case Hdlc::FrameReader::Status::Oversized:
                ++badFrames_;
                break;
            case Hdlc::FrameReader::Status::Frame:
                serve(stream, reader_.frame());
                break;
            }
        }
    }
}

void HandsetServer::serve(int stream, const std::vector<std::uint8_t>& request)
{
    ++requests_;
    const auto received = Emulator::Line::Clock::now();
    const Emulator::Exchange exchange = handset_->exchange(request, response_);
    bool breakCheckSum = false;
    if (exchange.portFault) {
        switch (exchange.portFault->kind) {
        case Emulator::Fault::Kind::Latency:
            if (!pause(exchange.portFault->value)) {
                ++unanswered_;
                requestStop(); // the pause took the stop request; run() must still see it
                return;
            }
            break;
        case Emulator::Fault::Kind::NoAnswer:
            ++unanswered_;
            return;
        case Emulator::Fault::Kind::PortFailure:
        case Emulator::Fault::Kind::Exception:
            breakCheckSum = true;
            break;
        default:
            break;
        }
    }
    // An answer beyond the room of any answer is lost on the line.
    const std::size_t length = exchange.length <= response_.size() ? exchange.length : 0;
    if (line_) {
        line_->carry(Hdlc::frameLength(request.data(), request.size()) +
                         Hdlc::frameLength(response_.data(), length),
                     received);
    }
    if (breakCheckSum || length != 0) {
        send(stream, std::span(response_).first(length), breakCheckSum);
    }
}

bool HandsetServer::pause(std::uint32_t milliseconds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return true;
        }
        pollfd ready{stopReading_.get(), POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(left.count())) > 0) {
            drainStopRequests();
            return false;
        }
    }
}

void HandsetServer::send(int stream, std::span<const std::uint8_t> response, bool breakCheckSum)
{
    outgoing_.clear();
    Hdlc::appendFrame(response.data(), response.size(), outgoing_);
    if (breakCheckSum) {
        // The byte before the flag belongs to the check sum; flipping one bit
        // that is no flag or escape keeps the frame's length and spoils its sum.
        std::uint8_t& last = outgoing_[outgoing_.size() - 2];
        last = static_cast<std::uint8_t>(last ^ 0x01);
        if (last == Hdlc::kFlag || last == Hdlc::kEscape) {
            last = static_cast<std::uint8_t>(last ^ 0x02);
        }
    }
    std::size_t sent = 0;
    while (sent < outgoing_.size()) {
        const ssize_t written = writeSome(stream, outgoing_.data() + sent, outgoing_.size() - sent);
        if (written > 0) {
            sent += static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR) {
            throwErrno("write");
        }
        pollfd ready{stream, POLLOUT, 0};
        if (::poll(&ready, 1, kSendTimeoutMs) == 0) {
            return; // nobody reads the line: the rest of the answer is lost
        }
    }
}

} // namespace Transport
