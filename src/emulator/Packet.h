// A request as the handset reads it, and the response it writes: fields in
// the handset's byte order, read only where the request holds them, written
// only where the response buffer has room.
#pragma once

#include "diag/LittleEndian.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace Emulator {

class Request {
public:
    explicit Request(std::span<const std::uint8_t> bytes)
        : bytes_(bytes)
    {}

    std::size_t size() const { return bytes_.size(); }
    std::span<const std::uint8_t> bytes() const { return bytes_; }
    // The first `count` bytes; callers check the size first.
    std::span<const std::uint8_t> first(std::size_t count) const { return bytes_.first(count); }
    std::span<const std::uint8_t> tail(std::size_t offset) const { return bytes_.subspan(offset); }
    // Fields at offsets the caller has checked against size().
    std::uint8_t field8(std::size_t offset) const { return bytes_[offset]; }
    std::uint16_t field16(std::size_t offset) const
    {
        return Diag::LittleEndian::read16(bytes_.data() + offset);
    }
    std::uint32_t field32(std::size_t offset) const
    {
        return Diag::LittleEndian::read32(bytes_.data() + offset);
    }

    // The NUL-terminated text at `offset`; false when no NUL ends it inside
    // the request. What follows the NUL is not read.
    bool text(std::size_t offset, std::string_view& result) const
    {
        if (offset >= bytes_.size()) {
            return false;
        }
        const auto* begin = bytes_.data() + offset;
        const auto* nul =
            static_cast<const std::uint8_t*>(std::memchr(begin, 0, bytes_.size() - offset));
        if (nul == nullptr) {
            return false;
        }
        result = std::string_view(reinterpret_cast<const char*>(begin),
                                  static_cast<std::size_t>(nul - begin));
        return true;
    }
    // The same, for text that must end exactly at the end of the request.
    bool lastText(std::size_t offset, std::string_view& result) const
    {
        return text(offset, result) && offset + result.size() + 1 == bytes_.size();
    }

private:
    std::span<const std::uint8_t> bytes_;
};

// A response written field after field into a buffer. Writing past the
// buffer's end writes nothing more and leaves the reply cut short, which the
// handset never lets happen: its buffer holds its longest response.
class Reply {
public:
    explicit Reply(std::span<std::uint8_t> buffer)
        : buffer_(buffer)
    {}

    Reply& u8(std::uint8_t value) { return bytes({&value, 1}); }
    Reply& u16(std::uint16_t value)
    {
        std::uint8_t field[2];
        Diag::LittleEndian::write16(field, value);
        return bytes(field);
    }
    Reply& u32(std::uint32_t value)
    {
        std::uint8_t field[4];
        Diag::LittleEndian::write32(field, value);
        return bytes(field);
    }
    Reply& bytes(std::span<const std::uint8_t> data)
    {
        const std::size_t room = buffer_.size() - length_;
        const std::size_t count = std::min(room, data.size());
        std::copy_n(data.begin(), count, buffer_.begin() + static_cast<std::ptrdiff_t>(length_));
        length_ += count;
        cut_ = cut_ || count < data.size();
        return *this;
    }
    Reply& zeros(std::size_t count)
    {
        const std::size_t fill = std::min(buffer_.size() - length_, count);
        std::fill_n(buffer_.begin() + static_cast<std::ptrdiff_t>(length_), fill, std::uint8_t{0});
        length_ += fill;
        cut_ = cut_ || fill < count;
        return *this;
    }
    // Windows-1252 text and its NUL.
    Reply& text(std::string_view text)
    {
        bytes({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
        return u8(0);
    }

    std::size_t length() const { return length_; }
    bool cut() const { return cut_; }
    // What is written so far.
    std::span<std::uint8_t> written() { return buffer_.first(length_); }
    // Starts again from nothing.
    void clear()
    {
        length_ = 0;
        cut_ = false;
    }
    // Drops what follows the first `length` bytes.
    void shorten(std::size_t length) { length_ = std::min(length, length_); }
    // Replaces what is written with a refusal: `code`, then `request` as it
    // came.
    Reply& refusal(std::uint8_t code, std::span<const std::uint8_t> request)
    {
        clear();
        return u8(code).bytes(request);
    }

private:
    std::span<std::uint8_t> buffer_;
    std::size_t length_ = 0;
    bool cut_ = false;
};

} // namespace Emulator
