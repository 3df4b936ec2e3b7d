// EFS2_DIAG_DEV_INFO: the flash device under the handset's file system.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>
#include <string>

namespace Diag::Efs {

// What DEV_INFO reports of the flash.
struct DeviceInfo {
    std::uint32_t totalBlocks = 0;
    std::uint32_t pagesPerBlock = 0;
    std::uint32_t pageSize = 0;
    std::uint32_t totalPageSize = 0;
    std::uint32_t makerId = 0;
    std::uint32_t deviceId = 0;
    std::uint8_t deviceType = 0; // kNorFlash or kNandFlash
    std::string name;            // the handset's bytes

    static constexpr std::uint8_t kNorFlash = 0;
    static constexpr std::uint8_t kNandFlash = 1;
};

namespace Commands {

class DevInfo : public RequestPacket<4> {
public:
    explicit DevInfo(std::uint8_t subsystemId);
    std::int16_t GetLength() const { return kSize; }
};

} // namespace Commands

namespace Responses {

// The error number, six numbers, the device type, then the name and its NUL.
class DevInfo : public RefusableResponse<289> {
public:
    std::uint32_t GetErrno() const override { return get32<4>(); }
    // The fields and a name of at most 255 bytes and its NUL; a failure may
    // come with its error number alone (8 bytes).
    bool IsValidLength(std::uint16_t length) const override;
    DeviceInfo GetInfo(std::uint16_t length) const;

    static constexpr std::uint16_t kNameOffset = 33;
};

} // namespace Responses

class DevInfo : public Commands::CommandBase {
public:
    using CommandBase::CommandBase;

    // The flash device. A handset without NAND flash may fail with its own
    // error number 0x4000000B.
    DeviceInfo Execute();
};

} // namespace Diag::Efs
