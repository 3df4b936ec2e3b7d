#include "diag/EFSClose.h"

CEFSCloseCmd::CEFSCloseCmd(std::int32_t fd, std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Diag::Efs2::Close)
{
    put32<4>(static_cast<std::uint32_t>(fd));
}

void CEFSClose::Execute(std::int32_t fd)
{
    CEFSCloseCmd request(fd, GetSubsystemId());
    CEFSCloseRsp response;
    try {
        Transact(request, request.GetLength(), response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_CLOSE", e);
    }
}
