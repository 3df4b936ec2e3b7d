// CRC-16/X.25, the check sum of the handset's diagnostic frames: reflected
// polynomial 0x8408, initial value 0xFFFF, result inverted.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Transport {

std::uint16_t crc16(const std::uint8_t* data, std::size_t size);

} // namespace Transport
