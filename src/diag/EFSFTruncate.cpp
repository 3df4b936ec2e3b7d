#include "diag/EFSFTruncate.h"

namespace Diag::Efs {

namespace {
constexpr const char* kFile = "diag\\EFSFTruncate";
} // namespace

Commands::FTruncate::FTruncate(std::uint16_t sequence, std::uint32_t length, std::int32_t fd,
                               std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Efs2::FTruncate)
{
    put16<4>(sequence);
    put32<6>(length);
    put32<10>(static_cast<std::uint32_t>(fd));
}

void FTruncate::Execute(std::int32_t fd, std::uint32_t length)
{
    const std::uint16_t sequence = NextSequence();
    Commands::FTruncate request(sequence, length, fd, GetSubsystemId());
    Responses::FTruncate response;
    try {
        Transact(request, request.GetLength(), response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_FTRUNCATE", e);
    }
    CheckSequence(sequence, response.GetSequence(), "EFS2_DIAG_FTRUNCATE", __LINE__, kFile);
}

} // namespace Diag::Efs
