#include "diag/EFSOpenDir.h"

#include "lang/Format.h"

#include <string>

namespace {
constexpr const char* kPathFile = "SharedInc\\EFSOpenDir";
constexpr std::uint32_t kPathTooLongLine = 38;
} // namespace

CEFSOpenDirCmd::CEFSOpenDirCmd(std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Diag::Efs2::OpenDir)
{}

std::int16_t CEFSOpenDirCmd::SetPath(std::u16string_view path)
{
    return static_cast<std::int16_t>(
        putPath<4>(path, "EFS2_DIAG_OPENDIR", kPathTooLongLine, kPathFile));
}

std::uint32_t CEFSOpenDir::Execute(std::u16string_view path)
{
    CEFSOpenDirCmd request(GetSubsystemId());
    CEFSOpenDirRsp response;
    const std::int16_t length = request.SetPath(path);
    try {
        Transact(request, length, response);
    } catch (const CEFSException& e) {
        const std::u16string text(path);
        throw CEFSException(Lang::format("%s <%ws>", "EFS2_DIAG_OPENDIR", text.c_str()).c_str(), e);
    }
    return response.GetDirp();
}
