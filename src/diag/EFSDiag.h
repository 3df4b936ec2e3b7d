// The EFS2 transaction framework: request and response packets that keep their
// bytes inside themselves, and the transaction base that sends one request
// through the diagnostic port and validates what comes back.
#pragma once

#include "diag/CEFSException.h"
#include "diag/Efs2.h"
#include "diag/LittleEndian.h"
#include "diag/PortInterfaces.h"
#include "platform/Com.h"
#include "platform/ComPtr.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// A request packet of one command.
class CEFSCmd {
public:
    virtual ~CEFSCmd();
    // The first byte of the packet.
    virtual std::uint8_t* GetPacket() = 0;
};

// A response packet of one command, with the lengths that command accepts.
class CEFSRsp {
public:
    virtual ~CEFSRsp();
    // The device error number of this response; 0 is success.
    virtual std::uint32_t GetErrno() const = 0;
    // The size of the receive buffer: the longest response accepted.
    virtual std::uint16_t GetCapacity() const = 0;
    // The first byte of the receive buffer.
    virtual std::uint8_t* GetPacket() = 0;
    // Whether `length` received bytes make a response of this command.
    virtual bool IsValidLength(std::uint16_t length) const = 0;
    // Whether a refusal (bad command, parameters or length, with the request
    // echoed) fails the transaction as such, rather than as an unexpected
    // response. Only the commands that a handset may lack say so; their
    // buffers hold the echo of their longest request.
    virtual bool RecognizesRefusal() const;

    // The error number of an error response of `length` bytes; 0 when the
    // buffer holds no error response or one too short to carry a number.
    std::uint32_t GetErrorResponseErrno(std::uint16_t length);
};

namespace Diag::Efs {

// The Windows-1252 bytes of `path` for a request. Throws CEFSException 516
// with `command` as message, recorded at `file` and `line`, when they are more
// than 1024.
std::string encodePath(std::u16string_view path, const char* command, std::uint32_t line,
                       const char* file);

// A request whose packet of at most Size bytes lives inside the object, zero
// filled, with the header written.
template <std::size_t Size>
class RequestPacket : public CEFSCmd {
public:
    std::uint8_t* GetPacket() final { return packet_.data(); }

protected:
    RequestPacket(std::uint8_t subsystemId, Efs2::Command command)
    {
        packet_[0] = Efs2::kSubsystemDispatch;
        packet_[1] = subsystemId;
        LittleEndian::write16(&packet_[2], command);
    }

    template <std::size_t Offset>
    void put16(std::uint16_t value)
    {
        static_assert(Offset + 2 <= Size);
        LittleEndian::write16(&packet_[Offset], value);
    }
    template <std::size_t Offset>
    void put32(std::uint32_t value)
    {
        static_assert(Offset + 4 <= Size);
        LittleEndian::write32(&packet_[Offset], value);
    }
    // Copies `bytes` and a NUL to `offset`; returns the offset after the NUL.
    // Callers size the packet for the longest text they let through.
    std::size_t putText(std::size_t offset, std::string_view bytes)
    {
        for (const char c : bytes) {
            packet_[offset++] = static_cast<std::uint8_t>(c);
        }
        packet_[offset++] = 0;
        return offset;
    }
    // A path request's path at `Offset`; returns the offset after its NUL.
    template <std::size_t Offset>
    std::size_t putPath(std::u16string_view path, const char* command, std::uint32_t line,
                        const char* file)
    {
        static_assert(Offset + Efs2::kMaxPath + 1 <= Size);
        return putText(Offset, encodePath(path, command, line, file));
    }

    static constexpr std::int16_t kSize = static_cast<std::int16_t>(Size);

private:
    std::array<std::uint8_t, Size> packet_{};
};

// A response with a receive buffer of Capacity bytes inside the object, zero
// filled.
template <std::uint16_t Capacity>
class ResponsePacket : public CEFSRsp {
public:
    std::uint16_t GetCapacity() const final { return Capacity; }
    std::uint8_t* GetPacket() final { return packet_.data(); }

protected:
    template <std::size_t Offset>
    std::uint16_t get16() const
    {
        static_assert(Offset + 2 <= Capacity);
        return LittleEndian::read16(&packet_[Offset]);
    }
    template <std::size_t Offset>
    std::uint32_t get32() const
    {
        static_assert(Offset + 4 <= Capacity);
        return LittleEndian::read32(&packet_[Offset]);
    }
    const std::uint8_t* bytes() const { return packet_.data(); }

private:
    std::array<std::uint8_t, Capacity> packet_{};
};

// A response of exactly Size bytes with its error number at ErrnoOffset.
template <std::uint16_t Size, std::size_t ErrnoOffset>
class FixedResponse : public ResponsePacket<Size> {
public:
    std::uint32_t GetErrno() const final { return this->template get32<ErrnoOffset>(); }
    bool IsValidLength(std::uint16_t length) const final { return length == Size; }
};

// A response that carries nothing but its error number.
using ErrnoResponse = FixedResponse<8, 4>;

// The buffer a refusable response needs: its longest answer, or a refusal of
// the longest request: one byte and the echo.
constexpr std::uint16_t refusalCapacity(std::size_t size, std::size_t requestSize)
{
    return static_cast<std::uint16_t>(size > requestSize + 1 ? size : requestSize + 1);
}

// The response of a command that a handset may lack (every command beyond
// the thirteen): a refusal of it fails the transaction with
// EFSERR_REFUSED.
template <std::uint16_t Capacity>
class RefusableResponse : public ResponsePacket<Capacity> {
public:
    bool RecognizesRefusal() const final { return true; }
};

// A refusable response of exactly Size bytes with its error number at
// ErrnoOffset, for a request of at most RequestSize bytes.
template <std::uint16_t Size, std::size_t ErrnoOffset, std::size_t RequestSize>
class RefusableFixedResponse : public RefusableResponse<refusalCapacity(Size, RequestSize)> {
public:
    std::uint32_t GetErrno() const final { return this->template get32<ErrnoOffset>(); }
    bool IsValidLength(std::uint16_t length) const final { return length == Size; }
};

template <std::size_t RequestSize>
using RefusableErrnoResponse = RefusableFixedResponse<8, 4, RequestSize>;

// The response of a later command: the request's sequence number at 4, the
// error number at 6, then Size - 10 bytes of fields.
template <std::uint16_t Size, std::size_t RequestSize>
class SequencedResponse : public RefusableFixedResponse<Size, 6, RequestSize> {
public:
    std::uint16_t GetSequence() const { return this->template get16<4>(); }
};

} // namespace Diag::Efs

namespace Diag::Efs {

// The IDiagPort of the object a client handed in. A null object, or one
// without the interface, gives a null port: its transactions fail when they
// send. Any other failure of the query throws _com_error.
Platform::ComPtr<IDiagPort> diagPortOf(IUnknown* port);

} // namespace Diag::Efs

namespace Diag::Efs::Commands {

// The base of every transaction: the port, the timeout and the subsystem
// identifier, and the one routine through which every request goes.
class CommandBase {
public:
    // Takes `port`'s IDiagPort. A null port, or one without that interface,
    // leaves the transaction without a port: every send then fails with code
    // 533. Any other failure of the query throws _com_error.
    CommandBase(IUnknown* port, std::uint32_t timeout, std::uint8_t subsystemId);
    // Releases the port; never throws.
    virtual ~CommandBase();

    CommandBase(const CommandBase&) = default;
    CommandBase& operator=(const CommandBase&) = default;

    // The identifier written into byte 1 of every request.
    std::uint8_t GetSubsystemId() const { return subsystemId_; }

protected:
    // Sends the first `requestLength` bytes of `request` and checks the
    // response: its header, its length, its error number. Returns the number
    // of bytes received. Throws CEFSException with an empty message.
    std::uint16_t Transact(CEFSCmd& request, std::int16_t requestLength, CEFSRsp& response);

private:
    Platform::ComPtr<IDiagPort> port_;
    std::uint32_t timeout_;
    std::uint8_t subsystemId_;
};

// The base of the later commands, whose requests carry a sequence number
// that the response must repeat. One transaction numbers its requests 1, 2,
// ... and wraps after 65535.
class SequencedCommandBase : public CommandBase {
public:
    using CommandBase::CommandBase;

protected:
    std::uint16_t NextSequence() { return ++sequence_; }
    // Throws CEFSException EFSERR_WRONG_SEQUENCE with `command` as message,
    // recorded at `file` and `line`, unless `answered` is `sent`.
    static void CheckSequence(std::uint16_t sent, std::uint16_t answered, const char* command,
                              std::uint32_t line, const char* file);

private:
    std::uint16_t sequence_ = 0;
};

} // namespace Diag::Efs::Commands
