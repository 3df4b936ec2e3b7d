#include "transport/PtyHandsetServer.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace Transport {

namespace {

[[noreturn]] void throwErrno(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

} // namespace

PtyHandsetServer::PtyHandsetServer(std::shared_ptr<Emulator::Handset> handset)
    : HandsetServer(std::move(handset))
{
    master_.reset(::posix_openpt(O_RDWR | O_NOCTTY));
    if (!master_) {
        throwErrno("posix_openpt");
    }
    const int master = master_.get();
    if (::fcntl(master, F_SETFD, FD_CLOEXEC) != 0 ||
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK) != 0) {
        throwErrno("fcntl");
    }
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        throwErrno("unlockpt");
    }
    std::array<char, 128> name{};
    if (::ptsname_r(master, name.data(), name.size()) != 0) {
        throwErrno("ptsname_r");
    }
    slavePath_ = name.data();
    slave_.reset(::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave_) {
        throwErrno(slavePath_.c_str());
    }
    // Raw before any client comes: an echoing line would send every
    // response straight back to the server.
    termios mode{};
    if (::tcgetattr(slave_.get(), &mode) != 0) {
        throwErrno(slavePath_.c_str());
    }
    ::cfmakeraw(&mode);
    mode.c_cc[VMIN] = 0;
    mode.c_cc[VTIME] = 0;
    if (::tcsetattr(slave_.get(), TCSANOW, &mode) != 0) {
        throwErrno(slavePath_.c_str());
    }
}

PtyHandsetServer::~PtyHandsetServer()
{
    stop(); // before the terminal closes under the serving thread
}

void PtyHandsetServer::serveClients()
{
    // The terminal never ends while the server holds its slave side.
    while (serveStream(master_.get())) {
    }
}

} // namespace Transport
