// A serial line in raw mode: bytes out, bytes in with a deadline. POSIX
// terminals (termios) and Windows COM ports.
#pragma once

#include "platform/UniqueAny.h"
#include "transport/Line.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Transport {

struct SerialSettings {
    std::string device; // "/dev/ttyUSB0", "COM3"
    std::uint32_t baud = 115200;
};

// Parses "serial:<device>[:<baud>]". Throws std::invalid_argument with a
// message for people.
SerialSettings parseSerialPort(std::string_view written);

class SerialLine final : public Line {
public:
    // Opens the device in raw mode. Throws std::system_error naming the device.
    explicit SerialLine(const SerialSettings& settings);

    void write(const std::uint8_t* data, std::size_t size, Deadline deadline) override;
    std::size_t read(std::uint8_t* buffer, std::size_t capacity, Deadline deadline) override;
    void discardInput() override;
    const std::string& name() const override { return device_; }

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
