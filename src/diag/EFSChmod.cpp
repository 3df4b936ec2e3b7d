#include "diag/EFSChmod.h"

namespace Diag::Efs {

namespace {
constexpr const char* kFile = "diag\\EFSChmod";
} // namespace

Commands::Chmod::Chmod(std::uint16_t mode, std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Efs2::Chmod)
{
    put16<4>(mode);
}

std::int16_t Commands::Chmod::SetPath(std::u16string_view path)
{
    return static_cast<std::int16_t>(putPath<6>(path, "EFS2_DIAG_CHMOD", __LINE__, kFile));
}

void Chmod::Execute(std::u16string_view path, std::uint16_t mode)
{
    Commands::Chmod request(mode, GetSubsystemId());
    Responses::Chmod response;
    const std::int16_t length = request.SetPath(path);
    try {
        Transact(request, length, response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_CHMOD", e);
    }
}

} // namespace Diag::Efs
