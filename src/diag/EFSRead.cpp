#include "diag/EFSRead.h"

#include <cstring>

namespace {
constexpr const char* kFile = "EFSRead";
constexpr std::uint32_t kTooLargeLine = 149;
constexpr std::uint32_t kWrongHandleLine = 168;
constexpr std::uint32_t kWrongOffsetLine = 173;
constexpr std::uint32_t kBadCountLine = 180;
} // namespace

CEFSReadCmd::CEFSReadCmd(std::int32_t fd, std::uint32_t count, std::uint32_t offset,
                         std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Diag::Efs2::Read)
{
    put32<4>(static_cast<std::uint32_t>(fd));
    put32<8>(count);
    put32<12>(offset);
}

bool CEFSReadRsp::IsValidLength(std::uint16_t length) const
{
    return static_cast<std::uint16_t>(length - kDataOffset) <= Diag::Efs2::kMaxData;
}

std::uint32_t CEFSRead::Execute(std::uint8_t* destination, std::int32_t fd, std::uint32_t count,
                                std::uint32_t offset)
{
    if (count > GetMaxData()) {
        throw CEFSException("", EFSERR_READ_TOO_LARGE, kTooLargeLine, kFile);
    }
    CEFSReadCmd request(fd, count, offset, GetSubsystemId());
    CEFSReadRsp response;
    try {
        Transact(request, request.GetLength(), response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_READ", e);
    }
    if (response.GetFd() != fd) {
        throw CEFSException("EFS2_DIAG_READ", EFSERR_WRONG_HANDLE, kWrongHandleLine, kFile);
    }
    if (response.GetOffset() != offset) {
        throw CEFSException("EFS2_DIAG_READ", EFSERR_READ_OFFSET, kWrongOffsetLine, kFile);
    }
    // The count is the handset's word and is not checked against the length
    // received (missing bytes read as the buffer's zeros), but it is never a
    // copy size beyond what was asked for: a count above 512, a negative one
    // (0x8000 to 0xFFFF in the low 16 bits) or one above `count` would run
    // past the caller's buffer, so each makes the response malformed.
    const std::int16_t got = response.GetCount();
    if (got < 0 || static_cast<std::uint32_t>(got) > GetMaxData() ||
        static_cast<std::uint32_t>(got) > count) {
        throw CEFSException("EFS2_DIAG_READ", EFSERR_BAD_RESPONSE, kBadCountLine, kFile);
    }
    if (got > 0) {
        std::memcpy(destination, response.GetData(), static_cast<std::size_t>(got));
    }
    return static_cast<std::uint32_t>(got);
}
