// The HDLC-like framing of the handset's diagnostic protocol on a serial line:
// the payload, its CRC-16/X.25 low byte first, every 0x7E and 0x7D of both
// escaped as 0x7D followed by the byte XOR 0x20, then the 0x7E flag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace Transport::Hdlc {

inline constexpr std::uint8_t kFlag = 0x7E;
inline constexpr std::uint8_t kEscape = 0x7D;
inline constexpr std::uint8_t kEscapeXor = 0x20;

// Appends the frame of `payload` to `out`: escaped payload and CRC, then the
// closing flag. No leading flag: readers take one as an empty frame anyway.
void appendFrame(const std::uint8_t* payload, std::size_t size, std::vector<std::uint8_t>& out);

// The number of bytes appendFrame makes of `payload`: what the frame takes
// on the line.
std::size_t frameLength(const std::uint8_t* payload, std::size_t size);

// Splits a byte stream into frames. Bytes go in as they arrive; a frame comes
// out as soon as its closing flag has been seen.
class FrameReader {
public:
    enum class Status {
        NeedMore,  // no complete frame yet
        Frame,     // frame() holds a checked payload
        BadCrc,    // a frame ended whose check sum is wrong (or too short to hold one)
        Oversized, // a frame grew past the limit; its bytes up to the next flag are dropped
    };

    // `maxPayload` bounds the unescaped payload of one frame.
    explicit FrameReader(std::size_t maxPayload = 8192);

    // Consumes bytes from data[*used] on until a frame ends or the bytes run
    // out; *used advances past what was consumed. Call again with the same
    // buffer to continue after a frame.
    Status feed(const std::uint8_t* data, std::size_t size, std::size_t* used);

    // The payload of the last frame, without its check sum.
    const std::vector<std::uint8_t>& frame() const { return frame_; }

    // Forgets a partly received frame.
    void reset();

private:
    std::size_t maxPayload_;
    std::vector<std::uint8_t> pending_;
    std::vector<std::uint8_t> frame_;
    bool escaped_ = false;
    bool overflowing_ = false;
};

} // namespace Transport::Hdlc
