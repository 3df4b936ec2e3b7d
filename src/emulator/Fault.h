// A fault scripted into the handset or its port, applied to one request: the
// next one, or the next one of a given command.
//
// Some faults change the response to a request the handset has carried out
// (stale offset, foreign descriptor, truncated or oversized response, the
// header of another command, added latency). The others stand in for the
// response, and the handset never sees the request: an error response, a port
// failure, an exception thrown from the port, a port that does not answer.
#pragma once

#include "diag/Efs2.h"
#include "platform/Com.h"

#include <cstdint>
#include <optional>

namespace Emulator {

struct Fault {
    enum class Kind {
        StaleOffset,       // READ or WRITE response: offset `value` bytes before the one asked for
        ForeignDescriptor, // OPEN, READ, WRITE, OPENDIR or READDIR response: descriptor + `value`
        TruncatedResponse, // only the first `value` bytes of the response arrive
        OversizedResponse, // `value` zero bytes follow the response
        ErrorResponse,     // the error response with error number `value`
        PortFailure,       // SendRequest returns the HRESULT `value`
        Exception,         // SendRequest throws an exception that is not a COM error
        NoAnswer,          // SendRequest waits the caller's timeout, then fails
        Latency,           // the response comes `value` milliseconds late
        WrongHeader,       // the response's header names command `value`
    };

    explicit Fault(Kind faultKind, std::uint32_t faultValue = 0)
        : kind(faultKind)
        , value(faultValue)
    {}

    Kind kind;
    std::uint32_t value;
    std::optional<std::uint16_t> command; // the command it waits for; any when empty

    static Fault staleOffset(std::uint32_t behind = 512)
    {
        return Fault(Kind::StaleOffset, behind);
    }
    static Fault foreignDescriptor(std::uint32_t distance = 1)
    {
        return Fault(Kind::ForeignDescriptor, distance);
    }
    static Fault truncatedResponse(std::uint32_t length)
    {
        return Fault(Kind::TruncatedResponse, length);
    }
    static Fault oversizedResponse(std::uint32_t extra)
    {
        return Fault(Kind::OversizedResponse, extra);
    }
    static Fault errorResponse(std::uint32_t error) { return Fault(Kind::ErrorResponse, error); }
    static Fault wrongHeader(std::uint16_t command = Diag::Efs2::Hello)
    {
        return Fault(Kind::WrongHeader, command);
    }
    static Fault portFailure(HRESULT result)
    {
        return Fault(Kind::PortFailure, static_cast<std::uint32_t>(result));
    }
    static Fault exception() { return Fault(Kind::Exception); }
    static Fault noAnswer() { return Fault(Kind::NoAnswer); }
    static Fault latency(std::uint32_t milliseconds) { return Fault(Kind::Latency, milliseconds); }

    // The same fault, kept for the next request of `code`.
    Fault on(std::uint16_t code) const
    {
        Fault result = *this;
        result.command = code;
        return result;
    }

    // Whether the port, rather than the handset's response, carries it out.
    bool isPortFault() const
    {
        return kind == Kind::PortFailure || kind == Kind::Exception || kind == Kind::NoAnswer ||
               kind == Kind::Latency;
    }
};

} // namespace Emulator
