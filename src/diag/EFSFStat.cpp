#include "diag/EFSFStat.h"

CEFSFStatCmd::CEFSFStatCmd(std::int32_t fd, std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Diag::Efs2::FStat)
{
    put32<4>(static_cast<std::uint32_t>(fd));
}

void CEFSFStat::Execute(std::int32_t fd, std::uint32_t& mode, std::uint32_t& size,
                        std::uint32_t& nlink, std::uint32_t& atime, std::uint32_t& mtime,
                        std::uint32_t& ctime)
{
    CEFSFStatCmd request(fd, GetSubsystemId());
    CEFSFStatRsp response;
    try {
        Transact(request, request.GetLength(), response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_FSTAT", e);
    }
    mode = response.GetMode();
    size = response.GetSize();
    nlink = response.GetLinkCount();
    atime = response.GetAccessTime();
    mtime = response.GetModificationTime();
    ctime = response.GetChangeTime();
}
