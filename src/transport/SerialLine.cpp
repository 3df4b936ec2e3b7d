#include "transport/SerialLine.h"

#include <charconv>
#include <stdexcept>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace Transport {

SerialSettings parseSerialPort(std::string_view written)
{
    constexpr std::string_view kScheme = "serial:";
    if (written.substr(0, kScheme.size()) != kScheme || written.size() == kScheme.size()) {
        throw std::invalid_argument(
            "a serial port is written serial:<device>[:<baud>], for example "
            "serial:/dev/ttyUSB0:115200");
    }
    SerialSettings settings;
    std::string_view rest = written.substr(kScheme.size());
    const std::size_t colon = rest.rfind(':');
    // "COM3" has no colon; "C:..." is no device name we accept, so the last
    // colon always starts the baud rate.
    if (colon != std::string_view::npos) {
        const std::string_view baud = rest.substr(colon + 1);
        std::uint32_t value = 0;
        const auto [end, error] = std::from_chars(baud.data(), baud.data() + baud.size(), value);
        if (error != std::errc() || end != baud.data() + baud.size() || value == 0) {
            throw std::invalid_argument("'" + std::string(baud) + "' is not a baud rate");
        }
        settings.baud = value;
        rest = rest.substr(0, colon);
    }
    if (rest.empty()) {
        throw std::invalid_argument("the serial port names no device");
    }
    settings.device = std::string(rest);
    return settings;
}

namespace {

int remainingMilliseconds(Deadline deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 1 << 30));
}

[[noreturn]] void throwTimeout(const std::string& device)
{
    throw std::system_error(std::make_error_code(std::errc::timed_out), device);
}

} // namespace

#if defined(_WIN32)

namespace {

[[noreturn]] void throwLastError(const std::string& device)
{
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), device);
}

} // namespace

SerialLine::LineTraits::Type SerialLine::LineTraits::invalid() noexcept
{
    return INVALID_HANDLE_VALUE;
}

void SerialLine::LineTraits::close(Type line) noexcept
{
    CloseHandle(line);
}

SerialLine::SerialLine(const SerialSettings& settings)
    : device_(settings.device)
{
    // COM10 and above are only reachable through the device namespace.
    const std::string path = device_.rfind("\\\\.\\", 0) == 0 ? device_ : "\\\\.\\" + device_;
    line_.reset(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            0, nullptr));
    if (!line_) {
        throwLastError(device_);
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(line_.get(), &dcb)) {
        throwLastError(device_);
    }
    dcb.BaudRate = settings.baud;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    if (!SetCommState(line_.get(), &dcb)) {
        throwLastError(device_);
    }
    discardInput();
}

void SerialLine::write(const std::uint8_t* data, std::size_t size, Deadline deadline)
{
    while (size > 0) {
        COMMTIMEOUTS timeouts{};
        timeouts.WriteTotalTimeoutConstant =
            static_cast<DWORD>(std::max(1, remainingMilliseconds(deadline)));
        SetCommTimeouts(line_.get(), &timeouts);
        DWORD written = 0;
        if (!WriteFile(line_.get(), data, static_cast<DWORD>(size), &written, nullptr)) {
            throwLastError(device_);
        }
        if (written == 0) {
            throwTimeout(device_);
        }
        data += written;
        size -= written;
    }
}

std::size_t SerialLine::read(std::uint8_t* buffer, std::size_t capacity, Deadline deadline)
{
    // Return soon after the first bytes arrive, or when the deadline passes:
    // the interval timeout starts with the first byte. (Windows also offers
    // MAXDWORD for interval and multiplier, "return at the first byte", but
    // Wine waits out the whole total timeout in that mode.)
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 1;
    timeouts.ReadTotalTimeoutConstant =
        static_cast<DWORD>(std::max(1, remainingMilliseconds(deadline)));
    if (!SetCommTimeouts(line_.get(), &timeouts)) {
        throwLastError(device_);
    }
    DWORD got = 0;
    if (!ReadFile(line_.get(), buffer, static_cast<DWORD>(capacity), &got, nullptr)) {
        throwLastError(device_);
    }
    return got;
}

void SerialLine::discardInput()
{
    PurgeComm(line_.get(), PURGE_RXCLEAR);
}

#else

namespace {

[[noreturn]] void throwErrno(const std::string& device)
{
    throw std::system_error(errno, std::generic_category(), device);
}

speed_t speedOf(std::uint32_t baud)
{
    switch (baud) {
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 921600:
        return B921600;
    case 1000000:
        return B1000000;
    case 2000000:
        return B2000000;
    case 3000000:
        return B3000000;
    case 4000000:
        return B4000000;
    default:
        throw std::invalid_argument(std::to_string(baud) +
                                    " is not a baud rate this system offers");
    }
}

} // namespace

SerialLine::LineTraits::Type SerialLine::LineTraits::invalid() noexcept
{
    return -1;
}

void SerialLine::LineTraits::close(Type line) noexcept
{
    ::close(line);
}

SerialLine::SerialLine(const SerialSettings& settings)
    : device_(settings.device)
{
    const speed_t speed = speedOf(settings.baud);
    line_.reset(::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!line_) {
        throwErrno(device_);
    }
    const int fd = line_.get();
    termios mode{};
    if (tcgetattr(fd, &mode) != 0) {
        throwErrno(device_);
    }
    cfmakeraw(&mode);
    mode.c_cflag |= CLOCAL | CREAD;
    mode.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS | CSTOPB);
    mode.c_cc[VMIN] = 0;
    mode.c_cc[VTIME] = 0;
    cfsetispeed(&mode, speed);
    cfsetospeed(&mode, speed);
    if (tcsetattr(fd, TCSANOW, &mode) != 0) {
        throwErrno(device_);
    }
    discardInput();
}

void SerialLine::write(const std::uint8_t* data, std::size_t size, Deadline deadline)
{
    while (size > 0) {
        const ssize_t written = ::write(line_.get(), data, size);
        if (written > 0) {
            data += written;
            size -= static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR) {
            throwErrno(device_);
        }
        pollfd ready{line_.get(), POLLOUT, 0};
        const int result = ::poll(&ready, 1, remainingMilliseconds(deadline));
        if (result == 0) {
            throwTimeout(device_);
        }
        if (result < 0 && errno != EINTR) {
            throwErrno(device_);
        }
    }
}

std::size_t SerialLine::read(std::uint8_t* buffer, std::size_t capacity, Deadline deadline)
{
    for (;;) {
        const ssize_t got = ::read(line_.get(), buffer, capacity);
        if (got > 0) {
            return static_cast<std::size_t>(got);
        }
        if (got < 0 && errno != EAGAIN && errno != EINTR) {
            throwErrno(device_);
        }
        const int wait = remainingMilliseconds(deadline);
        if (wait == 0) {
            return 0;
        }
        pollfd ready{line_.get(), POLLIN, 0};
        const int result = ::poll(&ready, 1, wait);
        if (result < 0 && errno != EINTR) {
            throwErrno(device_);
        }
        if (result > 0 && (ready.revents & (POLLHUP | POLLERR)) != 0 &&
            (ready.revents & POLLIN) == 0) {
            throw std::system_error(std::make_error_code(std::errc::io_error),
                                    device_ + " hung up");
        }
    }
}

void SerialLine::discardInput()
{
    tcflush(line_.get(), TCIFLUSH);
}

#endif

} // namespace Transport
