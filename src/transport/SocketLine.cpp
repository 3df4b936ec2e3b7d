#include "transport/SocketLine.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

#if defined(_WIN32)
// winsock2.h must come before anything that includes windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace Transport {

namespace {

#if defined(_WIN32)
using Socket = SOCKET;
constexpr Socket kNoSocket = INVALID_SOCKET;
constexpr int kSendFlags = 0;
using IoLength = int;          // Winsock counts bytes and address sizes in int
using AddressLength = int;

int lastSocketError()
{
    return WSAGetLastError();
}

bool wouldBlock(int error)
{
    return error == WSAEWOULDBLOCK;
}

bool inProgress(int error)
{
    return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS;
}

void closeSocket(Socket socket)
{
    ::closesocket(socket);
}

bool setNonBlocking(Socket socket)
{
    u_long on = 1;
    return ::ioctlsocket(socket, FIONBIO, &on) == 0;
}

// Winsock's error numbers, with words of their own: the runtime's tables
// know neither them nor the POSIX numbers of the same failures. They compare
// equal to the portable conditions (std::errc).
class WinsockCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "winsock"; }
    std::string message(int code) const override
    {
        switch (code) {
        case WSAECONNREFUSED:
            return "Connection refused";
        case WSAECONNRESET:
            return "Connection reset by peer";
        case WSAECONNABORTED:
            return "Software caused connection abort";
        case WSAETIMEDOUT:
            return "Connection timed out";
        case WSAEHOSTUNREACH:
            return "No route to host";
        case WSAENETUNREACH:
            return "Network is unreachable";
        case WSAEADDRINUSE:
            return "Address already in use";
        case WSAEADDRNOTAVAIL:
            return "Cannot assign requested address";
        default:
            return "Winsock error " + std::to_string(code);
        }
    }
    std::error_condition default_error_condition(int code) const noexcept override
    {
        switch (code) {
        case WSAECONNREFUSED:
            return std::errc::connection_refused;
        case WSAECONNRESET:
            return std::errc::connection_reset;
        case WSAECONNABORTED:
            return std::errc::connection_aborted;
        case WSAETIMEDOUT:
            return std::errc::timed_out;
        case WSAEHOSTUNREACH:
            return std::errc::host_unreachable;
        case WSAENETUNREACH:
            return std::errc::network_unreachable;
        case WSAEADDRINUSE:
            return std::errc::address_in_use;
        case WSAEADDRNOTAVAIL:
            return std::errc::address_not_available;
        default:
            return {code, *this};
        }
    }
};

constexpr int kTimedOut = WSAETIMEDOUT;
constexpr int kClosed = WSAECONNRESET;

std::error_code errorCode(int error)
{
    static const WinsockCategory category;
    return {error, category};
}

// Winsock wants starting once per process before its first call.
void startWinsock()
{
    static const int started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data);
    }();
    if (started != 0) {
        throw std::system_error(started, std::system_category(), "Winsock");
    }
}

// Waits until `socket` may be written (or, connecting, has connected or
// failed) or read. Windows' poll misses failed connections on some systems;
// select with the exception set does not.
int waitFor(Socket socket, bool writing, int milliseconds)
{
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(socket, &ready);
    FD_SET(socket, &failed);
    timeval wait{milliseconds / 1000, (milliseconds % 1000) * 1000};
    return ::select(0, writing ? nullptr : &ready, writing ? &ready : nullptr, &failed, &wait);
}
#else
using Socket = int;
constexpr Socket kNoSocket = -1;
constexpr int kSendFlags = MSG_NOSIGNAL; // a closed connection fails the call, not the process
using IoLength = std::size_t;
using AddressLength = socklen_t;

int lastSocketError()
{
    return errno;
}

bool wouldBlock(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

bool inProgress(int error)
{
    return error == EINPROGRESS || error == EINTR;
}

void closeSocket(Socket socket)
{
    ::close(socket);
}

bool setNonBlocking(Socket socket)
{
    return ::fcntl(socket, F_SETFL, ::fcntl(socket, F_GETFL) | O_NONBLOCK) == 0 &&
           ::fcntl(socket, F_SETFD, FD_CLOEXEC) == 0;
}

constexpr int kTimedOut = ETIMEDOUT;
constexpr int kClosed = ECONNRESET;

std::error_code errorCode(int error)
{
    return {error, std::generic_category()};
}

void startWinsock() {}

int waitFor(Socket socket, bool writing, int milliseconds)
{
    pollfd ready{socket, static_cast<short>(writing ? POLLOUT : POLLIN), 0};
    const int result = ::poll(&ready, 1, milliseconds);
    return result < 0 && errno == EINTR ? 0 : result;
}
#endif

class ResolverCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "resolver"; }
    std::string message(int code) const override { return ::gai_strerror(code); }
};

int remainingMilliseconds(Deadline deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 1 << 30));
}

[[noreturn]] void throwSocketError(int error, const std::string& name)
{
    throw std::system_error(errorCode(error), name);
}

// Connects `socket` to `address` before the deadline; the error number, or 0.
int connectBefore(Socket socket, const addrinfo& address, Deadline deadline)
{
    if (::connect(socket, address.ai_addr, static_cast<AddressLength>(address.ai_addrlen)) == 0) {
        return 0;
    }
    const int error = lastSocketError();
    if (!inProgress(error)) {
        return error;
    }
    for (;;) {
        const int result = waitFor(socket, true, remainingMilliseconds(deadline));
        if (result < 0) {
            return lastSocketError();
        }
        if (result > 0) {
            break;
        }
        if (remainingMilliseconds(deadline) == 0) {
            return kTimedOut;
        }
    }
    int outcome = 0;
    socklen_t size = sizeof outcome;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&outcome), &size) != 0) {
        return lastSocketError();
    }
    return outcome;
}

} // namespace

const std::error_category& resolverCategory() noexcept
{
    static const ResolverCategory category;
    return category;
}

std::string TcpAddress::text() const
{
    const std::string shownHost = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    return shownHost + ":" + std::to_string(port);
}

TcpAddress parseTcpAddress(std::string_view written, AnyPort anyPort)
{
    constexpr std::string_view kScheme = "tcp:";
    const auto malformed = [] {
        return std::invalid_argument("a TCP port is written tcp:<host>:<port>, for example "
                                     "tcp:127.0.0.1:2500 or tcp:[::1]:2500");
    };
    if (written.substr(0, kScheme.size()) != kScheme) {
        throw malformed();
    }
    const std::string_view rest = written.substr(kScheme.size());
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos) {
        throw malformed();
    }
    std::string_view host = rest.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string_view::npos) {
        throw std::invalid_argument("an IPv6 address goes in brackets: tcp:[" + std::string(host) +
                                    "]:<port>");
    }
    if (host.empty()) {
        throw std::invalid_argument("the TCP port names no host");
    }
    const std::string_view digits = rest.substr(colon + 1);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
        value > 65535 || (value == 0 && anyPort == AnyPort::Refused)) {
        throw std::invalid_argument("'" + std::string(digits) + "' is not a TCP port number");
    }
    return {std::string(host), static_cast<std::uint16_t>(value)};
}

SocketLine::SocketTraits::Type SocketLine::SocketTraits::invalid() noexcept
{
    return static_cast<Type>(kNoSocket);
}

void SocketLine::SocketTraits::close(Type socket) noexcept
{
    closeSocket(static_cast<Socket>(socket));
}

SocketLine::SocketLine(const TcpAddress& address, std::chrono::milliseconds timeout)
    : name_(address.text())
{
    startWinsock();
    const Deadline deadline = std::chrono::steady_clock::now() + timeout;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(address.port);
    if (const int error = ::getaddrinfo(address.host.c_str(), service.c_str(), &hints, &found);
        error != 0) {
        throw std::system_error(error, resolverCategory(), name_);
    }
    int lastError = 0;
    for (const addrinfo* candidate = found; candidate != nullptr && !socket_;
         candidate = candidate->ai_next) {
        Platform::UniqueAny<SocketTraits> socket(static_cast<SocketTraits::Type>(
            ::socket(candidate->ai_family, candidate->ai_socktype, candidate->ai_protocol)));
        if (!socket) {
            lastError = lastSocketError();
        } else if (!setNonBlocking(static_cast<Socket>(socket.get()))) {
            lastError = lastSocketError();
        } else if (lastError =
                       connectBefore(static_cast<Socket>(socket.get()), *candidate, deadline);
                   lastError == 0) {
            // Requests are small and each waits for its answer: send at once.
            int on = 1;
            ::setsockopt(static_cast<Socket>(socket.get()), IPPROTO_TCP, TCP_NODELAY,
                         reinterpret_cast<const char*>(&on), sizeof on);
            socket_ = std::move(socket);
        }
    }
    ::freeaddrinfo(found);
    if (!socket_) {
        throwSocketError(lastError, name_);
    }
}

void SocketLine::write(const std::uint8_t* data, std::size_t size, Deadline deadline)
{
    const auto socket = static_cast<Socket>(socket_.get());
    while (size > 0) {
        const auto chunk = static_cast<IoLength>(std::min<std::size_t>(size, 1 << 20));
        const auto sent = ::send(socket, reinterpret_cast<const char*>(data), chunk, kSendFlags);
        if (sent > 0) {
            data += sent;
            size -= static_cast<std::size_t>(sent);
            continue;
        }
        if (const int error = lastSocketError(); !wouldBlock(error)) {
            throwSocketError(error, name_);
        }
        const int wait = remainingMilliseconds(deadline);
        if (wait == 0 || waitFor(socket, true, wait) == 0) {
            throw std::system_error(errorCode(kTimedOut), name_);
        }
    }
}

std::size_t SocketLine::read(std::uint8_t* buffer, std::size_t capacity, Deadline deadline)
{
    const auto socket = static_cast<Socket>(socket_.get());
    const auto chunk = static_cast<IoLength>(std::min<std::size_t>(capacity, 1 << 20));
    for (;;) {
        const auto got = ::recv(socket, reinterpret_cast<char*>(buffer), chunk, 0);
        if (got > 0) {
            return static_cast<std::size_t>(got);
        }
        if (got == 0) {
            throw std::system_error(errorCode(kClosed), name_ + " closed the connection");
        }
        if (const int error = lastSocketError(); !wouldBlock(error)) {
            throwSocketError(error, name_);
        }
        const int wait = remainingMilliseconds(deadline);
        if (wait == 0) {
            return 0;
        }
        if (waitFor(socket, false, wait) < 0) {
            throwSocketError(lastSocketError(), name_);
        }
    }
}

void SocketLine::discardInput()
{
    std::uint8_t dropped[1024];
    // Stops at the first call that would wait; a closed connection shows at
    // the next read.
    while (::recv(static_cast<Socket>(socket_.get()), reinterpret_cast<char*>(dropped),
                  sizeof dropped, 0) > 0) {
    }
}

} // namespace Transport
