// The MD5 digest of a run of bytes, from the operating system's library: the
// cryptography API (bcrypt) on Windows, libmd elsewhere. The emulated
// handset answers MD5SUM with it.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace Platform {

using Md5Digest = std::array<std::uint8_t, 16>;

// The digest of `bytes`. Throws std::runtime_error when the library fails.
Md5Digest md5(std::span<const std::uint8_t> bytes);

} // namespace Platform
