// The emulated handset on a TCP port, as tools reach a handset whose
// diagnostic port is forwarded to the network: the same frames as on the
// pseudo-terminal (see HandsetServer), one client connection after another;
// connections that come meanwhile wait their turn. POSIX only.
#pragma once

#include "transport/HandsetServer.h"
#include "transport/SocketLine.h"

#include <memory>

namespace Transport {

class TcpHandsetServer final : public HandsetServer {
public:
    // Listens on `address`; port 0 takes a free one (see address()). Throws
    // std::system_error naming the address.
    TcpHandsetServer(std::shared_ptr<Emulator::Handset> handset, const TcpAddress& address);
    // Stops a server started with start() and closes the socket.
    ~TcpHandsetServer() override;

    // The address clients connect to, with the port that was taken.
    const TcpAddress& address() const { return address_; }

private:
    void serveClients() override;

    TcpAddress address_;
    Descriptor listening_;
};

} // namespace Transport
