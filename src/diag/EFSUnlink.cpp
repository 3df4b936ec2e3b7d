#include "diag/EFSUnlink.h"

namespace {
constexpr const char* kPathFile = "SharedInc\\EFSUnlinkCmd";
constexpr std::uint32_t kPathTooLongLine = 33;
} // namespace

CEFSUnlinkCmd::CEFSUnlinkCmd(std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Diag::Efs2::Unlink)
{}

std::int16_t CEFSUnlinkCmd::SetPath(std::u16string_view path)
{
    // The handset takes one more zero byte after the path's NUL; the zero
    // filled packet holds it already, it only has to be counted.
    const std::size_t end = putPath<4>(path, "EFS2_DIAG_UNLINK", kPathTooLongLine, kPathFile);
    return static_cast<std::int16_t>(end + 1);
}

void EFSUnlink::Execute(std::u16string_view path)
{
    CEFSUnlinkCmd request(GetSubsystemId());
    Efs::UnlinkRsp response;
    const std::int16_t length = request.SetPath(path);
    try {
        Transact(request, length, response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_UNLINK", e);
    }
}
