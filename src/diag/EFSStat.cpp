#include "diag/EFSStat.h"

namespace Diag::Efs {

namespace {
constexpr const char* kFile = "diag\\EFSStat";
} // namespace

Commands::Stat::Stat(std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Efs2::Stat)
{}

std::int16_t Commands::Stat::SetPath(std::u16string_view path)
{
    return static_cast<std::int16_t>(putPath<4>(path, "EFS2_DIAG_STAT", __LINE__, kFile));
}

FileStatus Responses::Stat::GetStatus() const
{
    return {get32<8>(), get32<12>(), get32<16>(), get32<20>(), get32<24>(), get32<28>()};
}

FileStatus Stat::Execute(std::u16string_view path)
{
    Commands::Stat request(GetSubsystemId());
    Responses::Stat response;
    const std::int16_t length = request.SetPath(path);
    try {
        Transact(request, length, response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_STAT", e);
    }
    return response.GetStatus();
}

} // namespace Diag::Efs
