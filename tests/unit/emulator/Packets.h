// EFS2 packets for the emulator's tests, written field by field with the
// protocol's little-endian helpers.
#pragma once

#include "diag/Efs2.h"
#include "diag/LittleEndian.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace EmulatorTest {

using Bytes = std::vector<std::uint8_t>;

class Packet {
public:
    explicit Packet(std::uint16_t command, std::uint8_t subsystem = Diag::Efs2::kFileSubsystem)
    {
        u8(Diag::Efs2::kSubsystemDispatch).u8(subsystem).u16(command);
    }

    Packet& u8(std::uint8_t value)
    {
        bytes.push_back(value);
        return *this;
    }
    Packet& u16(std::uint16_t value)
    {
        std::uint8_t field[2];
        Diag::LittleEndian::write16(field, value);
        return u8(field[0]).u8(field[1]);
    }
    Packet& u32(std::uint32_t value)
    {
        std::uint8_t field[4];
        Diag::LittleEndian::write32(field, value);
        return u8(field[0]).u8(field[1]).u8(field[2]).u8(field[3]);
    }
    // Bytes as they are, without a NUL.
    Packet& raw(std::string_view data)
    {
        bytes.insert(bytes.end(), data.begin(), data.end());
        return *this;
    }
    // Text and its NUL.
    Packet& text(std::string_view data) { return raw(data).u8(0); }

    operator Bytes() const { return bytes; }
    // Lives as long as the packet: for a call with a temporary packet.
    operator std::span<const std::uint8_t>() const { return bytes; }

    Bytes bytes;
};

inline std::uint32_t field32(const Bytes& packet, std::size_t offset)
{
    return offset + 4 <= packet.size() ? Diag::LittleEndian::read32(packet.data() + offset)
                                       : 0xDEADBEEF;
}

inline Bytes bytesOf(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

} // namespace EmulatorTest
