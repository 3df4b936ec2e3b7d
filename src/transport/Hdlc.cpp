#include "transport/Hdlc.h"

#include "transport/Crc16.h"

namespace Transport::Hdlc {

namespace {

void appendEscaped(std::uint8_t byte, std::vector<std::uint8_t>& out)
{
    if (byte == kFlag || byte == kEscape) {
        out.push_back(kEscape);
        out.push_back(static_cast<std::uint8_t>(byte ^ kEscapeXor));
    } else {
        out.push_back(byte);
    }
}

std::size_t escapedLength(std::uint8_t byte)
{
    return byte == kFlag || byte == kEscape ? 2 : 1;
}

} // namespace

std::size_t frameLength(const std::uint8_t* payload, std::size_t size)
{
    std::size_t length = 1; // the flag
    for (std::size_t i = 0; i < size; ++i) {
        length += escapedLength(payload[i]);
    }
    const std::uint16_t crc = crc16(payload, size);
    return length + escapedLength(static_cast<std::uint8_t>(crc & 0xFF)) +
           escapedLength(static_cast<std::uint8_t>(crc >> 8));
}

void appendFrame(const std::uint8_t* payload, std::size_t size, std::vector<std::uint8_t>& out)
{
    out.reserve(out.size() + size + size / 8 + 5);
    for (std::size_t i = 0; i < size; ++i) {
        appendEscaped(payload[i], out);
    }
    const std::uint16_t crc = crc16(payload, size);
    appendEscaped(static_cast<std::uint8_t>(crc & 0xFF), out);
    appendEscaped(static_cast<std::uint8_t>(crc >> 8), out);
    out.push_back(kFlag);
}

FrameReader::FrameReader(std::size_t maxPayload)
    : maxPayload_(maxPayload)
{
    pending_.reserve(maxPayload + 2);
}

void FrameReader::reset()
{
    pending_.clear();
    escaped_ = false;
    overflowing_ = false;
}

FrameReader::Status FrameReader::feed(const std::uint8_t* data, std::size_t size, std::size_t* used)
{
    while (*used < size) {
        const std::uint8_t byte = data[(*used)++];
        if (byte == kFlag) {
            if (overflowing_) {
                reset();
                return Status::Oversized;
            }
            if (pending_.empty()) {
                escaped_ = false;
                continue; // a leading flag, or flags between frames
            }
            const bool complete = !escaped_ && pending_.size() >= 2;
            bool good = false;
            if (complete) {
                const std::size_t payload = pending_.size() - 2;
                const auto crc =
                    static_cast<std::uint16_t>(pending_[payload] | (pending_[payload + 1] << 8));
                good = crc16(pending_.data(), payload) == crc;
                if (good) {
                    frame_.assign(pending_.begin(),
                                  pending_.begin() + static_cast<std::ptrdiff_t>(payload));
                }
            }
            reset();
            return good ? Status::Frame : Status::BadCrc;
        }
        if (overflowing_) {
            continue;
        }
        if (byte == kEscape && !escaped_) {
            escaped_ = true;
            continue;
        }
        const std::uint8_t value = escaped_ ? static_cast<std::uint8_t>(byte ^ kEscapeXor) : byte;
        escaped_ = false;
        if (pending_.size() == maxPayload_ + 2) {
            overflowing_ = true; // the payload and its check sum no longer fit
            pending_.clear();
            continue;
        }
        pending_.push_back(value);
    }
    return Status::NeedMore;
}

} // namespace Transport::Hdlc
