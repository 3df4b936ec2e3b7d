#include "diag/EFSAccess.h"

namespace Diag::Efs {

namespace {
constexpr const char* kFile = "diag\\EFSAccess";
} // namespace

Commands::Access::Access(std::uint8_t permissions, std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Efs2::Access)
{
    GetPacket()[4] = permissions;
}

std::int16_t Commands::Access::SetPath(std::u16string_view path)
{
    return static_cast<std::int16_t>(putPath<5>(path, "EFS2_DIAG_ACCESS", __LINE__, kFile));
}

void Access::Execute(std::u16string_view path, std::uint8_t permissions)
{
    Commands::Access request(permissions, GetSubsystemId());
    Responses::Access response;
    const std::int16_t length = request.SetPath(path);
    try {
        Transact(request, length, response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_ACCESS", e);
    }
}

} // namespace Diag::Efs
