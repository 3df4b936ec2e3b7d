#include "diag/EFSDevInfo.h"

#include <algorithm>

namespace Diag::Efs {

Commands::DevInfo::DevInfo(std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Efs2::DevInfo)
{}

bool Responses::DevInfo::IsValidLength(std::uint16_t length) const
{
    if (length == 8) {
        return GetErrno() != 0;
    }
    return length >= kNameOffset && length <= GetCapacity();
}

DeviceInfo Responses::DevInfo::GetInfo(std::uint16_t length) const
{
    DeviceInfo info;
    info.totalBlocks = get32<8>();
    info.pagesPerBlock = get32<12>();
    info.pageSize = get32<16>();
    info.totalPageSize = get32<20>();
    info.makerId = get32<24>();
    info.deviceId = get32<28>();
    info.deviceType = bytes()[32];
    if (length > kNameOffset && length <= GetCapacity()) {
        const std::uint8_t* begin = bytes() + kNameOffset;
        info.name.assign(begin, std::find(begin, bytes() + length, std::uint8_t{0}));
    }
    return info;
}

DeviceInfo DevInfo::Execute()
{
    Commands::DevInfo request(GetSubsystemId());
    Responses::DevInfo response;
    std::uint16_t received = 0;
    try {
        received = Transact(request, request.GetLength(), response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_DEV_INFO", e);
    }
    return response.GetInfo(received);
}

} // namespace Diag::Efs
