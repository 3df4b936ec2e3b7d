// Packet bytes for tests, written field by field in the handset's byte order:
//
//     Packet().u8(75).u8(19).u16(3).u32(fd)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace TestSupport {

using Bytes = std::vector<std::uint8_t>;

class Packet {
public:
    Packet& u8(std::uint8_t value)
    {
        bytes_.push_back(value);
        return *this;
    }
    Packet& u16(std::uint16_t value)
    {
        return u8(static_cast<std::uint8_t>(value)).u8(static_cast<std::uint8_t>(value >> 8));
    }
    Packet& u32(std::uint32_t value)
    {
        return u16(static_cast<std::uint16_t>(value)).u16(static_cast<std::uint16_t>(value >> 16));
    }
    // The four header bytes: 75, the subsystem and the command.
    Packet& header(std::uint16_t command, std::uint8_t subsystem = 19)
    {
        return u8(75).u8(subsystem).u16(command);
    }
    // Text bytes as they are, without a NUL.
    Packet& text(std::string_view value)
    {
        for (const char c : value) {
            u8(static_cast<std::uint8_t>(c));
        }
        return *this;
    }
    Packet& zeros(std::size_t count)
    {
        bytes_.insert(bytes_.end(), count, 0);
        return *this;
    }

    const Bytes& bytes() const { return bytes_; }
    operator const Bytes&() const { return bytes_; }

private:
    Bytes bytes_;
};

} // namespace TestSupport
