#include "diag/EFSSymlink.h"

#include <string>

namespace Diag::Efs {

namespace {
constexpr const char* kFile = "diag\\EFSSymlink";
} // namespace

Commands::Symlink::Symlink(std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Efs2::Symlink)
{}

std::int16_t Commands::Symlink::SetNames(std::u16string_view target, std::u16string_view linkPath)
{
    const std::string targetBytes = encodePath(target, "EFS2_DIAG_SYMLINK", __LINE__, kFile);
    const std::string linkBytes = encodePath(linkPath, "EFS2_DIAG_SYMLINK", __LINE__, kFile);
    // Two texts of at most 1024 bytes with their NULs end at 2054 at most.
    return static_cast<std::int16_t>(putText(putText(4, targetBytes), linkBytes));
}

void Symlink::Execute(std::u16string_view target, std::u16string_view linkPath)
{
    Commands::Symlink request(GetSubsystemId());
    Responses::Symlink response;
    const std::int16_t length = request.SetNames(target, linkPath);
    try {
        Transact(request, length, response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_SYMLINK", e);
    }
}

} // namespace Diag::Efs
