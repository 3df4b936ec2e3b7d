#include "diag/EFSRmDir.h"

namespace {
constexpr const char* kPathFile = "SharedInc\\EFSRmDirCmd";
constexpr std::uint32_t kPathTooLongLine = 32;
} // namespace

CEFSRmDirCmd::CEFSRmDirCmd(std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Diag::Efs2::RmDir)
{}

std::int16_t CEFSRmDirCmd::SetPath(std::u16string_view path)
{
    return static_cast<std::int16_t>(
        putPath<4>(path, "EFS2_DIAG_RMDIR", kPathTooLongLine, kPathFile));
}

namespace Diag::Efs::Commands {

void RmDir::Execute(std::u16string_view path)
{
    CEFSRmDirCmd request(GetSubsystemId());
    CEFSRmDirRsp response;
    const std::int16_t length = request.SetPath(path);
    try {
        Transact(request, length, response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_RMDIR", e);
    }
}

} // namespace Diag::Efs::Commands
