#include "transport/TcpHandsetServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace Transport {

namespace {

// Connections that may wait while one is served.
constexpr int kBacklog = 8;

} // namespace

TcpHandsetServer::TcpHandsetServer(std::shared_ptr<Emulator::Handset> handset,
                                   const TcpAddress& address)
    : HandsetServer(std::move(handset))
    , address_(address)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(address.port);
    if (const int error = ::getaddrinfo(address.host.c_str(), service.c_str(), &hints, &found);
        error != 0) {
        throw std::system_error(error, resolverCategory(), address.text());
    }
    int lastError = 0;
    for (const addrinfo* candidate = found; candidate != nullptr && !listening_;
         candidate = candidate->ai_next) {
        Descriptor socket(::socket(candidate->ai_family, candidate->ai_socktype | SOCK_CLOEXEC,
                                   candidate->ai_protocol));
        // A server started again at once gets its port back.
        int on = 1;
        if (!socket || ::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
            ::bind(socket.get(), candidate->ai_addr, candidate->ai_addrlen) != 0 ||
            ::listen(socket.get(), kBacklog) != 0) {
            lastError = errno;
            continue;
        }
        listening_ = std::move(socket);
    }
    ::freeaddrinfo(found);
    if (!listening_) {
        throw std::system_error(lastError, std::generic_category(), address.text());
    }
    sockaddr_storage bound{};
    socklen_t size = sizeof bound;
    if (::getsockname(listening_.get(), reinterpret_cast<sockaddr*>(&bound), &size) == 0) {
        char port[16] = {};
        if (::getnameinfo(reinterpret_cast<sockaddr*>(&bound), size, nullptr, 0, port, sizeof port,
                          NI_NUMERICSERV) == 0) {
            address_.port = static_cast<std::uint16_t>(std::stoul(port));
        }
    }
}

TcpHandsetServer::~TcpHandsetServer()
{
    stop(); // before the socket closes under the serving thread
}

void TcpHandsetServer::serveClients()
{
    while (waitReadable(listening_.get())) {
        Descriptor client(
            ::accept4(listening_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!client) {
            if (errno == EINTR || errno == EAGAIN || errno == ECONNABORTED) {
                continue;
            }
            throw std::system_error(errno, std::generic_category(), address_.text());
        }
        countClient();
        int on = 1;
        ::setsockopt(client.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        try {
            if (!serveStream(client.get())) {
                return;
            }
        } catch (const std::system_error&) {
            // This client's connection broke; the next one is served as usual.
        }
    }
}

} // namespace Transport
