// A TCP connection to a handset's diagnostic port that another program
// forwards (a debugging bridge, a network serial adapter, `vornak-efs serve
// --listen`): the same frames as on a serial line, over a stream socket.
// POSIX sockets and Winsock.
#pragma once

#include "platform/UniqueAny.h"
#include "transport/Line.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

namespace Transport {

struct TcpAddress {
    std::string host; // a host name, an IPv4 address or an IPv6 address
    std::uint16_t port = 0;

    // As people write it: "127.0.0.1:5000", "[::1]:5000".
    std::string text() const;
};

// Whether port 0 ("any free port") is a port: for listening, not for connecting.
enum class AnyPort { Refused, Allowed };

// Parses "tcp:<host>:<port>"; an IPv6 address goes in brackets, as in
// tcp:[::1]:5000. Throws std::invalid_argument with a message for people.
TcpAddress parseTcpAddress(std::string_view written, AnyPort anyPort = AnyPort::Refused);

class SocketLine final : public Line {
public:
    // Connects to the first address of `address` that answers before
    // `timeout`. Throws std::system_error naming the address.
    SocketLine(const TcpAddress& address, std::chrono::milliseconds timeout);

    void write(const std::uint8_t* data, std::size_t size, Deadline deadline) override;
    std::size_t read(std::uint8_t* buffer, std::size_t capacity, Deadline deadline) override;
    void discardInput() override;
    const std::string& name() const override { return name_; }

private:
    struct SocketTraits {
#if defined(_WIN32)
        using Type = std::uintptr_t; // SOCKET
#else
        using Type = int;
#endif
        static Type invalid() noexcept;
        static void close(Type socket) noexcept;
    };

    std::string name_;
    Platform::UniqueAny<SocketTraits> socket_;
};

// The error category of host-name lookups (getaddrinfo's codes).
const std::error_category& resolverCategory() noexcept;

} // namespace Transport
