// Packet bytes for tests, written field by field in the handset's byte order:
//
//     Packet(Efs2::Read).u32(fd).u32(512).u32(0)
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace TestSupport {

using Bytes = std::vector<std::uint8_t>;

struct Packet {
    Packet() = default;
    // Starts with the header: 75, the subsystem and the command.
    explicit Packet(std::uint16_t command, std::uint8_t subsystem = 19)
    {
        u8(75).u8(subsystem).u16(command);
    }

    Packet& u8(std::uint8_t value)
    {
        bytes.push_back(value);
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
    // Bytes as they are, without a NUL.
    Packet& raw(std::string_view data)
    {
        bytes.insert(bytes.end(), data.begin(), data.end());
        return *this;
    }
    // Text and its NUL.
    Packet& text(std::string_view data) { return raw(data).u8(0); }
    Packet& zeros(std::size_t count)
    {
        bytes.insert(bytes.end(), count, 0);
        return *this;
    }

    operator const Bytes&() const { return bytes; }
    operator std::span<const std::uint8_t>() const { return bytes; }

    Bytes bytes;
};

// The 32-bit field at `offset`, or 0xDEADBEEF when the packet is too short.
inline std::uint32_t field32(const Bytes& packet, std::size_t offset)
{
    if (offset + 4 > packet.size()) {
        return 0xDEADBEEF;
    }
    return static_cast<std::uint32_t>(packet[offset] | packet[offset + 1] << 8 |
                                      packet[offset + 2] << 16 |
                                      static_cast<std::uint32_t>(packet[offset + 3]) << 24);
}

inline Bytes bytesOf(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

} // namespace TestSupport
