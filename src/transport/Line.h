// A byte-stream line to a handset's diagnostic port: a serial line, or a TCP
// connection to a port that forwards one. The port above it frames requests
// and reads answers the same way on either.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace Transport {

using Deadline = std::chrono::steady_clock::time_point;

class Line {
public:
    virtual ~Line() = default;

    // Writes every byte, or throws std::system_error (a timeout included).
    virtual void write(const std::uint8_t* data, std::size_t size, Deadline deadline) = 0;

    // Waits until bytes arrive or the deadline passes; returns how many were
    // read, 0 at the deadline. Throws std::system_error on a failure, and
    // when the far end has closed the line.
    virtual std::size_t read(std::uint8_t* buffer, std::size_t capacity, Deadline deadline) = 0;

    // Drops whatever has arrived and not been read: late answers to earlier requests.
    virtual void discardInput() = 0;

    // The line as people name it: "/dev/ttyUSB0", "COM3", "127.0.0.1:5000".
    virtual const std::string& name() const = 0;

protected:
    Line() = default;
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;
};

// Opens the line written as "serial:<device>[:<baud>]" or "tcp:<host>:<port>".
// A connection may take until `connectTimeout`. Throws std::invalid_argument
// with a message for people when the text is malformed, std::system_error
// naming the line when it cannot be opened.
std::unique_ptr<Line> openLine(std::string_view written, std::chrono::milliseconds connectTimeout);

} // namespace Transport
