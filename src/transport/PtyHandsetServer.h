// The emulated handset on a pseudo-terminal: clients open the slave side as
// they would the serial port of a real handset, and the server answers on the
// master side (see HandsetServer for how it answers). POSIX only.
#pragma once

#include "transport/HandsetServer.h"

#include <memory>
#include <string>

namespace Transport {

class PtyHandsetServer final : public HandsetServer {
public:
    // Opens a pseudo-terminal pair in raw mode that serves `handset`. Throws
    // std::system_error.
    explicit PtyHandsetServer(std::shared_ptr<Emulator::Handset> handset);
    // Stops a server started with start() and closes the terminal.
    ~PtyHandsetServer() override;

    // The terminal clients open, for example "/dev/pts/3". It stays usable
    // for one client after another: the server holds the slave side open,
    // so a client that closes it does not hang up the line.
    const std::string& slavePath() const { return slavePath_; }

private:
    void serveClients() override;

    Descriptor master_;
    Descriptor slave_;
    std::string slavePath_;
};

} // namespace Transport
