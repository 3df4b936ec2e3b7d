// The MD5 digest of a run of bytes, from the operating system's library: the
// cryptography API (bcrypt) on Windows, libmd elsewhere. The emulated
// handset answers MD5SUM with it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

namespace Platform {

using Md5Digest = std::array<std::uint8_t, 16>;

// The digest of `bytes`. Throws std::runtime_error when the library fails.
Md5Digest md5(std::span<const std::uint8_t> bytes);

// The digest of bytes that come a run at a time, as a file streams by.
class Md5 {
public:
    // Throws std::runtime_error when the library fails.
    Md5();
    ~Md5();
    Md5(const Md5&) = delete;
    Md5& operator=(const Md5&) = delete;

    void update(std::span<const std::uint8_t> bytes);
    // The digest of everything so far; the object is spent afterwards.
    Md5Digest finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace Platform
