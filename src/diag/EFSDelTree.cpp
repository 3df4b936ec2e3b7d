#include "diag/EFSDelTree.h"

namespace Diag::Efs {

namespace {
constexpr const char* kFile = "diag\\EFSDelTree";
} // namespace

Commands::DelTree::DelTree(std::uint16_t sequence, std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Efs2::DelTree)
{
    put16<4>(sequence);
}

std::int16_t Commands::DelTree::SetPath(std::u16string_view path)
{
    return static_cast<std::int16_t>(putPath<6>(path, "EFS2_DIAG_DELTREE", __LINE__, kFile));
}

void DelTree::Execute(std::u16string_view path)
{
    const std::uint16_t sequence = NextSequence();
    Commands::DelTree request(sequence, GetSubsystemId());
    Responses::DelTree response;
    const std::int16_t length = request.SetPath(path);
    try {
        Transact(request, length, response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_DELTREE", e);
    }
    CheckSequence(sequence, response.GetSequence(), "EFS2_DIAG_DELTREE", __LINE__, kFile);
}

} // namespace Diag::Efs
