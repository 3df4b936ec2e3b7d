// A serial line in raw mode: bytes out, bytes in with a deadline. POSIX
// terminals (termios) and Windows COM ports.
#pragma once

#include "platform/UniqueAny.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Transport {

using Deadline = std::chrono::steady_clock::time_point;

struct SerialSettings {
    std::string device; // "/dev/ttyUSB0", "COM3"
    std::uint32_t baud = 115200;
};

// Parses "serial:<device>[:<baud>]". Throws std::invalid_argument with a
// message for people.
SerialSettings parseSerialPort(std::string_view written);

class SerialLine {
public:
    // Opens the device in raw mode. Throws std::system_error naming the device.
    explicit SerialLine(const SerialSettings& settings);
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    // Writes every byte, or throws std::system_error (a timeout included).
    void write(const std::uint8_t* data, std::size_t size, Deadline deadline);

    // Waits until bytes arrive or the deadline passes; returns how many were
    // read, 0 at the deadline. Throws std::system_error on a failure.
    std::size_t read(std::uint8_t* buffer, std::size_t capacity, Deadline deadline);

    // Drops whatever has arrived and not been read: late answers to earlier requests.
    void discardInput();

    const std::string& device() const { return device_; }

private:
    // The line's handle (Windows) or descriptor (POSIX), closed by its owner.
    struct LineTraits {
#if defined(_WIN32)
        using Type = void*;
#else
        using Type = int;
#endif
        static Type invalid() noexcept;
        static void close(Type line) noexcept;
    };

    std::string device_;
    Platform::UniqueAny<LineTraits> line_;
};

} // namespace Transport
