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
    try {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0) {
            throwErrno("posix_openpt");
        }
        if (::fcntl(master_, F_SETFD, FD_CLOEXEC) != 0 ||
            ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK) != 0) {
            throwErrno("fcntl");
        }
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
    } catch (...) {
        closeQuietly(master_);
        closeQuietly(slave_);
        throw;
    }
}

PtyHandsetServer::~PtyHandsetServer()
{
    stop();
    closeQuietly(master_);
    closeQuietly(slave_);
}

void PtyHandsetServer::serveClients()
{
    // The terminal never ends while the server holds its slave side.
    while (serveStream(master_)) {
    }
}

} // namespace Transport
