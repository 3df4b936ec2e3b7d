#include "diag/EFSCloseDir.h"

CEFSCloseDirCmd::CEFSCloseDirCmd(std::uint32_t dirp, std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Diag::Efs2::CloseDir)
{
    put32<4>(dirp);
}

void CEFSCloseDir::Execute(std::uint32_t dirp)
{
    CEFSCloseDirCmd request(dirp, GetSubsystemId());
    CEFSCloseDirRsp response;
    try {
        Transact(request, request.GetLength(), response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_CLOSEDIR", e);
    }
}
