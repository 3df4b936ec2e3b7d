// EFS2_DIAG_HELLO: opens an EFS2 session; both sides tell the windows of
// packets and bytes they keep in flight and the protocol versions they speak.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>

namespace Diag::Efs {

// What each side of HELLO tells; the handset answers with what it settled.
struct HelloParameters {
    std::uint32_t targetPackets = kWindow;
    std::uint32_t targetBytes = kWindow;
    std::uint32_t hostPackets = kWindow;
    std::uint32_t hostBytes = kWindow;
    std::uint32_t iteratorPackets = kWindow;
    std::uint32_t iteratorBytes = kWindow;
    std::uint32_t version = 1;
    std::uint32_t minVersion = 1;
    std::uint32_t maxVersion = 1;
    std::uint32_t features = 0;

    // The window public clients offer.
    static constexpr std::uint32_t kWindow = 0x100000;
};

namespace Commands {

class Hello : public RequestPacket<44> {
public:
    Hello(const HelloParameters& offered, std::uint8_t subsystemId);
    std::int16_t GetLength() const { return kSize; }
};

} // namespace Commands

namespace Responses {

// The ten fields again, and no error number.
class Hello : public RefusableResponse<refusalCapacity(44, 44)> {
public:
    std::uint32_t GetErrno() const override { return 0; }
    bool IsValidLength(std::uint16_t length) const override { return length == 44; }
    HelloParameters GetParameters() const;
};

} // namespace Responses

class Hello : public Commands::CommandBase {
public:
    using CommandBase::CommandBase;

    // What the handset settles for the parameters `offered`.
    HelloParameters Execute(const HelloParameters& offered = {});
};

} // namespace Diag::Efs
