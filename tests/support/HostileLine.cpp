#include "support/HostileLine.h"

#include "transport/Hdlc.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace TestSupport {

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;
namespace Hdlc = Transport::Hdlc;

// How often the line tries again to find damage the check sum sees.
constexpr int kDamageAttempts = 16;

[[noreturn]] void throwErrno(const std::string& what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

void makeRaw(int fd, const std::string& name)
{
    termios mode{};
    if (::tcgetattr(fd, &mode) != 0) {
        throwErrno(name);
    }
    ::cfmakeraw(&mode);
    mode.c_cc[VMIN] = 0;
    mode.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &mode) != 0) {
        throwErrno(name);
    }
}

// The good frames and the bad ones a fresh reader sees in `bytes`.
struct Seen {
    std::vector<Bytes> good;
    std::uint64_t bad = 0;
};

Seen readerSees(const Bytes& bytes, std::size_t maxPayload)
{
    Hdlc::FrameReader reader(maxPayload);
    Seen seen;
    std::size_t used = 0;
    while (used < bytes.size()) {
        switch (reader.feed(bytes.data(), bytes.size(), &used)) {
        case Hdlc::FrameReader::Status::NeedMore:
            break;
        case Hdlc::FrameReader::Status::Frame:
            seen.good.push_back(reader.frame());
            break;
        default:
            ++seen.bad;
            break;
        }
    }
    return seen;
}

} // namespace

HostileLine::Direction::Direction(int fromFd, int toFd, std::uint64_t seed,
                                  const LineDamage& lineDamage, std::size_t readerBound,
                                  bool unsolicitedAllowed)
    : from(fromFd)
    , to(toFd)
    , random(seed)
    , damage(lineDamage)
    , maxPayload(readerBound)
    , lastDue(Clock::now())
{
    if (!unsolicitedAllowed) {
        damage.unsolicited = 0; // a handset would answer it
    }
}

HostileLine::HostileLine(const std::string& handsetDevice, std::uint64_t seed,
                         const LineDamage& toHandset, const LineDamage& toClient,
                         std::size_t handsetMaxPayload, std::size_t clientMaxPayload)
{
    clientMaster_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (clientMaster_ < 0 || ::grantpt(clientMaster_) != 0 || ::unlockpt(clientMaster_) != 0) {
        throwErrno("posix_openpt");
    }
    std::array<char, 128> name{};
    if (::ptsname_r(clientMaster_, name.data(), name.size()) != 0) {
        throwErrno("ptsname_r");
    }
    clientDevice_ = name.data();
    clientSlave_ = ::open(clientDevice_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (clientSlave_ < 0) {
        throwErrno(clientDevice_);
    }
    makeRaw(clientSlave_, clientDevice_);
    handset_ = ::open(handsetDevice.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (handset_ < 0) {
        throwErrno(handsetDevice);
    }
    makeRaw(handset_, handsetDevice);
    if (::pipe2(stopPipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        throwErrno("pipe2");
    }
    directions_.emplace_back(clientMaster_, handset_, seed * 2 + 1, toHandset, handsetMaxPayload,
                             false);
    directions_.emplace_back(handset_, clientMaster_, seed * 2 + 2, toClient, clientMaxPayload,
                             true);
    thread_ = std::thread([this] { run(); });
}

HostileLine::~HostileLine()
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(stopPipe_[1], &byte, 1);
    thread_.join();
    for (int fd : {clientMaster_, clientSlave_, handset_, stopPipe_[0], stopPipe_[1]}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void HostileLine::setDamaging(bool damaging)
{
    std::lock_guard lock(mutex_);
    damaging_ = damaging;
}

void HostileLine::waitUntilIdle()
{
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (directions_[0].held.empty() && directions_[1].held.empty()) {
                return;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

HostileLine::Tally HostileLine::toHandset() const
{
    std::lock_guard lock(mutex_);
    return directions_[0].tally;
}

HostileLine::Tally HostileLine::toClient() const
{
    std::lock_guard lock(mutex_);
    return directions_[1].tally;
}

void HostileLine::run()
{
    for (;;) {
        int wait = -1;
        pollfd ready[4] = {{stopPipe_[0], POLLIN, 0},
                           {directions_[0].from, POLLIN, 0},
                           {directions_[1].from, POLLIN, 0},
                           {-1, 0, 0}};
        {
            std::lock_guard lock(mutex_);
            for (Direction& direction : directions_) {
                deliver(direction);
                if (!direction.held.empty()) {
                    const auto due = direction.held.front().due;
                    const auto left =
                        std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now()).count();
                    const int ms = static_cast<int>(std::max<long long>(left, 1));
                    wait = wait < 0 ? ms : std::min(wait, ms);
                }
            }
        }
        if (::poll(ready, 3, wait) < 0 && errno != EINTR) {
            throwErrno("poll");
        }
        if (ready[0].revents != 0) {
            return;
        }
        std::lock_guard lock(mutex_);
        for (std::size_t i = 0; i < 2; ++i) {
            if (ready[i + 1].revents != 0) {
                take(directions_[i]);
            }
        }
    }
}

void HostileLine::take(Direction& direction)
{
    std::array<std::uint8_t, 4096> buffer{};
    for (;;) {
        const ssize_t got = ::read(direction.from, buffer.data(), buffer.size());
        if (got <= 0) {
            return; // nothing more for now
        }
        direction.tally.bytesTaken += static_cast<std::uint64_t>(got);
        for (ssize_t i = 0; i < got; ++i) {
            direction.partial.push_back(buffer[static_cast<std::size_t>(i)]);
            if (buffer[static_cast<std::size_t>(i)] == Hdlc::kFlag) {
                relayFrame(direction, direction.partial);
                direction.partial.clear();
            }
        }
    }
}

// `frame` ends in its flag. Whatever the line makes of it ends in a flag too,
// so the receiver's reader is between frames after each.
void HostileLine::relayFrame(Direction& direction, const Bytes& frame)
{
    unsigned stallMs = 0;
    Bytes out = frame;
    if (frame.size() > 1) {
        ++direction.tally.frames;
        if (damaging_) {
            out = damaged(direction, frame, stallMs);
        }
    }
    const Seen seen = readerSees(out, direction.maxPayload);
    direction.tally.goodFrames += seen.good.size();
    direction.tally.badFrames += seen.bad;
    if (out != frame || stallMs != 0) {
        ++direction.tally.damaged;
    }
    const auto due = std::max(direction.lastDue, Clock::now() + std::chrono::milliseconds(stallMs));
    direction.lastDue = due;
    direction.held.push_back({due, std::move(out)});
    deliver(direction);
}

Bytes HostileLine::damaged(Direction& direction, const Bytes& frame, unsigned& stallMs)
{
    const LineDamage& d = direction.damage;
    auto& random = direction.random;
    const auto below = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    const std::size_t body = frame.size() - 1; // the bytes before the flag
    const Seen original = readerSees(frame, direction.maxPayload);

    for (int attempt = 0; attempt < kDamageAttempts; ++attempt) {
        unsigned roll = static_cast<unsigned>(below(1000));
        const auto chose = [&](unsigned chance) {
            if (roll < chance) {
                return true;
            }
            roll -= chance;
            return false;
        };
        Bytes out = frame;
        std::vector<Bytes> inserted; // good frames the line adds on purpose
        if (chose(d.flipBit)) {
            out[below(body)] ^= static_cast<std::uint8_t>(1u << below(8));
        } else if (chose(d.dropByte)) {
            out.erase(out.begin() + static_cast<std::ptrdiff_t>(below(body)));
        } else if (chose(d.duplicateByte)) {
            const std::size_t at = below(body);
            out.insert(out.begin() + static_cast<std::ptrdiff_t>(at), out[at]);
        } else if (chose(d.cutShort)) {
            out.erase(out.begin() + static_cast<std::ptrdiff_t>(below(body)), out.end() - 1);
        } else if (chose(d.garbage)) {
            Bytes noise(1 + below(24));
            std::generate(noise.begin(), noise.end(),
                          [&] { return static_cast<std::uint8_t>(random()); });
            noise.push_back(Hdlc::kFlag);
            out.insert(out.begin(), noise.begin(), noise.end());
        } else if (chose(d.unsolicited)) {
            static constexpr std::uint8_t kKinds[] = {0x10, 0x60, 0x79}; // log, event, message
            Bytes packet(2 + below(30));
            std::generate(packet.begin(), packet.end(),
                          [&] { return static_cast<std::uint8_t>(random()); });
            packet[0] = kKinds[below(3)];
            inserted.push_back(packet);
            Bytes framed;
            Hdlc::appendFrame(packet.data(), packet.size(), framed);
            out.insert(out.begin(), framed.begin(), framed.end());
        } else if (chose(d.lose)) {
            out.clear();
        } else if (chose(d.shortStall)) {
            stallMs = d.shortStallMs;
            return out;
        } else if (chose(d.longStall)) {
            stallMs = d.longStallMs;
            return out;
        } else {
            return out;
        }
        // Only the frame itself and the packets put in on purpose may pass
        // the check sum.
        const Seen seen = readerSees(out, direction.maxPayload);
        const bool visible = std::all_of(seen.good.begin(), seen.good.end(), [&](const Bytes& good) {
            return std::find(original.good.begin(), original.good.end(), good) !=
                       original.good.end() ||
                   std::find(inserted.begin(), inserted.end(), good) != inserted.end();
        });
        if (visible) {
            return out;
        }
    }
    return frame;
}

void HostileLine::deliver(Direction& direction)
{
    const auto now = Clock::now();
    while (!direction.held.empty() && direction.held.front().due <= now) {
        Bytes& bytes = direction.held.front().bytes;
        while (!bytes.empty()) {
            const ssize_t written = ::write(direction.to, bytes.data(), bytes.size());
            if (written <= 0) {
                if (written < 0 && errno != EAGAIN && errno != EINTR) {
                    throwErrno("hostile line");
                }
                return; // the receiver's buffer is full: later
            }
            direction.tally.bytesDelivered += static_cast<std::uint64_t>(written);
            bytes.erase(bytes.begin(), bytes.begin() + written);
        }
        direction.held.pop_front();
    }
}

} // namespace TestSupport
