#include "diag/EFSTruncate.h"

namespace Diag::Efs {

namespace {
constexpr const char* kFile = "diag\\EFSTruncate";
} // namespace

Commands::Truncate::Truncate(std::uint16_t sequence, std::uint32_t length, std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Efs2::Truncate)
{
    put16<4>(sequence);
    put32<6>(length);
}

std::int16_t Commands::Truncate::SetPath(std::u16string_view path)
{
    return static_cast<std::int16_t>(putPath<10>(path, "EFS2_DIAG_TRUNCATE", __LINE__, kFile));
}

void Truncate::Execute(std::u16string_view path, std::uint32_t length)
{
    const std::uint16_t sequence = NextSequence();
    Commands::Truncate request(sequence, length, GetSubsystemId());
    Responses::Truncate response;
    const std::int16_t requestLength = request.SetPath(path);
    try {
        Transact(request, requestLength, response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_TRUNCATE", e);
    }
    CheckSequence(sequence, response.GetSequence(), "EFS2_DIAG_TRUNCATE", __LINE__, kFile);
}

} // namespace Diag::Efs
