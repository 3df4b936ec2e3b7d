#include "diag/EFSMkDir.h"

namespace {
constexpr const char* kPathFile = "SharedInc\\EFSMkDirCmd";
constexpr std::uint32_t kPathTooLongLine = 34;
} // namespace

CEFSMkDirCmd::CEFSMkDirCmd(std::uint16_t mode, std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Diag::Efs2::MkDir)
{
    put16<4>(mode);
}

std::int16_t CEFSMkDirCmd::SetPath(std::u16string_view path)
{
    return static_cast<std::int16_t>(
        putPath<6>(path, "EFS2_DIAG_MKDIR", kPathTooLongLine, kPathFile));
}

void CEFSMkDir::Execute(std::u16string_view path, std::uint16_t mode)
{
    CEFSMkDirCmd request(mode, GetSubsystemId());
    CEFSMkDirRsp response;
    const std::int16_t length = request.SetPath(path);
    try {
        Transact(request, length, response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_MKDIR", e);
    }
}
