#include "diag/EFSWrite.h"

#include <cstring>

namespace {
constexpr const char* kDataFile = "vornak\\EFSWrite";
constexpr std::uint32_t kTooLargeLine = 31;
constexpr const char* kFile = "EFSWrite";
constexpr std::uint32_t kWrongHandleLine = 155;
constexpr std::uint32_t kWrongOffsetLine = 161;
} // namespace

CEFSWriteCmd::CEFSWriteCmd(std::int32_t fd, std::uint32_t offset, std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Diag::Efs2::Write)
{
    put32<4>(static_cast<std::uint32_t>(fd));
    put32<8>(offset);
}

std::int16_t CEFSWriteCmd::SetData(const std::uint8_t* source, std::uint32_t count)
{
    if (count > Diag::Efs2::kMaxData) {
        throw CEFSException("", EFSERR_WRITE_TOO_LARGE, kTooLargeLine, kDataFile);
    }
    if (count > 0) {
        std::memcpy(GetPacket() + kDataOffset, source, count);
    }
    return static_cast<std::int16_t>(kDataOffset + count);
}

std::uint32_t CEFSWrite::Execute(const std::uint8_t* source, std::int32_t fd, std::uint32_t count,
                                 std::uint32_t offset)
{
    CEFSWriteCmd request(fd, offset, GetSubsystemId());
    CEFSWriteRsp response;
    const std::int16_t length = request.SetData(source, count);
    try {
        Transact(request, length, response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_WRITE", e);
    }
    if (response.GetFd() != fd) {
        throw CEFSException("EFS2_DIAG_WRITE", EFSERR_WRONG_HANDLE, kWrongHandleLine, kFile);
    }
    if (response.GetOffset() != offset) {
        throw CEFSException("EFS2_DIAG_WRITE", EFSERR_WRITE_OFFSET, kWrongOffsetLine, kFile);
    }
    return response.GetCount();
}
