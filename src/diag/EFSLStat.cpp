#include "diag/EFSLStat.h"

namespace {
constexpr const char* kPathFile = "SharedInc\\EFSLStat";
constexpr std::uint32_t kPathTooLongLine = 36;
} // namespace

CEFSLStatCmd::CEFSLStatCmd(std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Diag::Efs2::LStat)
{}

std::int16_t CEFSLStatCmd::SetPath(std::u16string_view path)
{
    return static_cast<std::int16_t>(
        putPath<4>(path, "EFS2_DIAG_LSTAT", kPathTooLongLine, kPathFile));
}

void EFSLStat::Execute(std::u16string_view path, std::uint32_t& mode, std::uint32_t& atime,
                       std::uint32_t& mtime, std::uint32_t& ctime)
{
    CEFSLStatCmd request(GetSubsystemId());
    CEFSLStatRsp response;
    const std::int16_t length = request.SetPath(path);
    try {
        Transact(request, length, response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_LSTAT", e);
    }
    mode = response.GetMode();
    atime = response.GetAccessTime();
    mtime = response.GetModificationTime();
    ctime = response.GetChangeTime();
}
