#include "diag/EFSReadLink.h"

#include "lang/Transcode.h"

#include <algorithm>

namespace Diag::Efs {

namespace {
constexpr const char* kFile = "diag\\EFSReadLink";
} // namespace

Commands::ReadLink::ReadLink(std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Efs2::ReadLink)
{}

std::int16_t Commands::ReadLink::SetPath(std::u16string_view path)
{
    return static_cast<std::int16_t>(putPath<4>(path, "EFS2_DIAG_READLINK", __LINE__, kFile));
}

bool Responses::ReadLink::IsValidLength(std::uint16_t length) const
{
    return length >= kTargetOffset && length <= GetCapacity();
}

std::string Responses::ReadLink::GetTarget(std::uint16_t length) const
{
    if (length <= kTargetOffset || length > GetCapacity()) {
        return {};
    }
    const std::uint8_t* begin = bytes() + kTargetOffset;
    const std::uint8_t* end = std::find(begin, bytes() + length, std::uint8_t{0});
    return std::string(begin, end);
}

std::u16string ReadLink::Execute(std::u16string_view path)
{
    return Lang::Platform::transcode(std::string_view(TargetBytes(path)));
}

std::string ReadLink::TargetBytes(std::u16string_view path)
{
    Commands::ReadLink request(GetSubsystemId());
    Responses::ReadLink response;
    const std::int16_t length = request.SetPath(path);
    std::uint16_t received = 0;
    try {
        received = Transact(request, length, response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_READLINK", e);
    }
    return response.GetTarget(received);
}

} // namespace Diag::Efs
