#include "diag/EFSQuery.h"

namespace Diag::Efs {

Commands::Query::Query(std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Efs2::Query)
{}

FileSystemLimits Responses::Query::GetLimits() const
{
    FileSystemLimits limits;
    limits.maxNameLength = static_cast<std::int32_t>(get32<4>());
    limits.maxPathLength = static_cast<std::int32_t>(get32<8>());
    limits.maxSymlinkDepth = static_cast<std::int32_t>(get32<12>());
    limits.maxFileSize = static_cast<std::int32_t>(get32<16>());
    limits.maxDirectories = static_cast<std::int32_t>(get32<20>());
    limits.maxMounts = static_cast<std::int32_t>(get32<24>());
    return limits;
}

FileSystemLimits Query::Execute()
{
    Commands::Query request(GetSubsystemId());
    Responses::Query response;
    try {
        Transact(request, request.GetLength(), response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_QUERY", e);
    }
    return response.GetLimits();
}

} // namespace Diag::Efs
