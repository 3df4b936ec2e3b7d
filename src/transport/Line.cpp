#include "transport/Line.h"

#include "transport/SerialLine.h"
#include "transport/SocketLine.h"

#include <stdexcept>

namespace Transport {

std::unique_ptr<Line> openLine(std::string_view written, std::chrono::milliseconds connectTimeout)
{
    if (written.substr(0, 4) == "tcp:") {
        return std::make_unique<SocketLine>(parseTcpAddress(written), connectTimeout);
    }
    if (written.substr(0, 7) == "serial:") {
        return std::make_unique<SerialLine>(parseSerialPort(written));
    }
    throw std::invalid_argument("a port is written serial:<device>[:<baud>] or tcp:<host>:<port>, "
                                "for example serial:/dev/ttyUSB0 or tcp:127.0.0.1:2500");
}

} // namespace Transport
