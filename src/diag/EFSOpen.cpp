#include "diag/EFSOpen.h"

#include "lang/Format.h"

#include <string>

namespace Diag::Efs {

namespace {
constexpr const char* kPathFile = "SharedInc\\EFSOpen";
constexpr std::uint32_t kPathTooLongLine = 39;
} // namespace

Commands::Open::Open(std::uint32_t oflag, std::uint32_t mode, std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Efs2::Open)
{
    put32<4>(oflag);
    put32<8>(mode);
}

std::int16_t Commands::Open::SetPath(std::u16string_view path)
{
    return static_cast<std::int16_t>(
        putPath<12>(path, "EFS2_DIAG_OPEN", kPathTooLongLine, kPathFile));
}

std::int32_t Open::Execute(std::u16string_view path, std::uint32_t oflag, std::uint32_t mode)
{
    Commands::Open request(oflag, mode, GetSubsystemId());
    Responses::Open response;
    const std::int16_t length = request.SetPath(path);
    try {
        Transact(request, length, response);
    } catch (const CEFSException& e) {
        const std::u16string text(path);
        throw CEFSException(Lang::format("EFS2_DIAG_OPEN %ws", text.c_str()).c_str(), e);
    }
    return response.GetFd();
}

} // namespace Diag::Efs
