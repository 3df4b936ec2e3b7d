#include "diag/EFSPut.h"

#include <algorithm>
#include <string>

namespace Diag::Efs {

namespace {
constexpr const char* kFile = "diag\\EFSPut";
} // namespace

Commands::Put::Put(std::uint32_t oflag, std::uint32_t mode, std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Efs2::Put)
{
    put32<8>(oflag);
    put32<12>(mode);
}

std::int16_t Commands::Put::SetItem(std::span<const std::uint8_t> data, std::u16string_view path)
{
    if (data.size() > Efs2::kMaxItemData) {
        throw CEFSException("EFS2_DIAG_PUT", EFSERR_ITEM_TOO_LARGE, __LINE__, kFile);
    }
    const std::string pathBytes = encodePath(path, "EFS2_DIAG_PUT", __LINE__, kFile);
    put32<4>(static_cast<std::uint32_t>(data.size()));
    std::copy(data.begin(), data.end(), GetPacket() + kDataOffset);
    // 16 bytes of fields, 1024 of data and 1025 of path at most fill the packet.
    return static_cast<std::int16_t>(putText(kDataOffset + data.size(), pathBytes));
}

void Put::Execute(std::u16string_view path, std::span<const std::uint8_t> data, std::uint32_t oflag,
                  std::uint32_t mode)
{
    Commands::Put request(oflag, mode, GetSubsystemId());
    Responses::Put response;
    const std::int16_t length = request.SetItem(data, path);
    try {
        Transact(request, length, response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_PUT", e);
    }
}

} // namespace Diag::Efs
