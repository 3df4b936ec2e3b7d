#include "transport/PtyHandsetServer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <system_error>
#include <termios.h>
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

void closeQuietly(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

void setFlags(int fd, int statusFlags)
{
    if (::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0 ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | statusFlags) != 0) {
        throwErrno("fcntl");
    }
}

} // namespace

PtyHandsetServer::PtyHandsetServer(std::shared_ptr<Emulator::Handset> handset)
    : handset_(std::move(handset))
    , reader_(kMaxRequest)
{
    try {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0) {
            throwErrno("posix_openpt");
        }
        setFlags(master_, O_NONBLOCK);
        if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
            throwErrno("unlockpt");
        }
        std::array<char, 128> name{};
        if (::ptsname_r(master_, name.data(), name.size()) != 0) {
            throwErrno("ptsname_r");
        }
        slavePath_ = name.data();
        slave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave_ < 0) {
            throwErrno(slavePath_.c_str());
        }
        // Raw before any client comes: an echoing line would send every
        // response straight back to the server.
        termios mode{};
        if (::tcgetattr(slave_, &mode) != 0) {
            throwErrno(slavePath_.c_str());
        }
        ::cfmakeraw(&mode);
        mode.c_cc[VMIN] = 0;
        mode.c_cc[VTIME] = 0;
        if (::tcsetattr(slave_, TCSANOW, &mode) != 0) {
            throwErrno(slavePath_.c_str());
        }
        if (::pipe(stopPipe_) != 0) {
            throwErrno("pipe");
        }
        setFlags(stopPipe_[0], O_NONBLOCK);
        setFlags(stopPipe_[1], O_NONBLOCK);
    } catch (...) {
        closeQuietly(master_);
        closeQuietly(slave_);
        closeQuietly(stopPipe_[0]);
        closeQuietly(stopPipe_[1]);
        throw;
    }
    // Room enough that serving never allocates: the longest answer, every
    // byte escaped, its check sum and flag.
    response_.resize(handset_->responseCapacity());
    outgoing_.reserve(2 * response_.size() + 8);
}

PtyHandsetServer::~PtyHandsetServer()
{
    stop();
    closeQuietly(master_);
    closeQuietly(slave_);
    closeQuietly(stopPipe_[0]);
    closeQuietly(stopPipe_[1]);
}

void PtyHandsetServer::start()
{
    thread_ = std::thread([this] { run(); });
}

void PtyHandsetServer::requestStop() noexcept
{
    const char byte = 1;
    // A full pipe already holds a request to stop.
    [[maybe_unused]] const ssize_t written = ::write(stopPipe_[1], &byte, 1);
}

void PtyHandsetServer::stop()
{
    requestStop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

PtyHandsetServer::Counters PtyHandsetServer::counters() const
{
    Counters result;
    result.requests = requests_.load();
    result.badFrames = badFrames_.load();
    result.unanswered = unanswered_.load();
    return result;
}

void PtyHandsetServer::run()
{
    std::array<std::uint8_t, 4096> incoming{};
    for (;;) {
        pollfd ready[2] = {{master_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(ready, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            throwErrno("poll");
        }
        if (ready[1].revents != 0) {
            char drained[16];
            while (::read(stopPipe_[0], drained, sizeof drained) > 0) {
            }
            return;
        }
        const ssize_t got = ::read(master_, incoming.data(), incoming.size());
        if (got < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                continue;
            }
            throwErrno(slavePath_.c_str());
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
                serve(reader_.frame());
                break;
            }
        }
    }
}

void PtyHandsetServer::serve(const std::vector<std::uint8_t>& request)
{
    ++requests_;
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
    if (breakCheckSum || length != 0) {
        send(std::span(response_).first(length), breakCheckSum);
    }
}

bool PtyHandsetServer::pause(std::uint32_t milliseconds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return true;
        }
        pollfd ready{stopPipe_[0], POLLIN, 0};
        const int result = ::poll(&ready, 1, static_cast<int>(left.count()));
        if (result > 0) {
            char drained[16];
            while (::read(stopPipe_[0], drained, sizeof drained) > 0) {
            }
            return false;
        }
    }
}

void PtyHandsetServer::send(std::span<const std::uint8_t> response, bool breakCheckSum)
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
        const ssize_t written = ::write(master_, outgoing_.data() + sent, outgoing_.size() - sent);
        if (written > 0) {
            sent += static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR) {
            throwErrno(slavePath_.c_str());
        }
        pollfd ready{master_, POLLOUT, 0};
        if (::poll(&ready, 1, kSendTimeoutMs) == 0) {
            return; // nobody reads the line: the rest of the answer is lost
        }
    }
}

} // namespace Transport
