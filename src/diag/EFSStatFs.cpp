#include "diag/EFSStatFs.h"

#include <algorithm>

namespace Diag::Efs {

namespace {
constexpr const char* kFile = "diag\\EFSStatFs";
} // namespace

Commands::StatFs::StatFs(std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Efs2::StatFs)
{}

std::int16_t Commands::StatFs::SetPath(std::u16string_view path)
{
    return static_cast<std::int16_t>(putPath<4>(path, "EFS2_DIAG_STATFS", __LINE__, kFile));
}

FileSystemStatus Responses::StatFs::GetStatus() const
{
    FileSystemStatus status;
    status.id = get32<8>();
    const std::uint8_t* type = bytes() + kTypeOffset;
    status.type.assign(type, std::find(type, type + kTypeSize, std::uint8_t{0}));
    status.blockSize = get32<20>();
    status.totalBlocks = get32<24>();
    status.availableBlocks = get32<28>();
    status.freeBlocks = get32<32>();
    status.maxFileSize = get32<36>();
    status.fileCount = get32<40>();
    status.maxFileCount = get32<44>();
    return status;
}

FileSystemStatus StatFs::Execute(std::u16string_view path)
{
    Commands::StatFs request(GetSubsystemId());
    Responses::StatFs response;
    const std::int16_t length = request.SetPath(path);
    try {
        Transact(request, length, response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_STATFS", e);
    }
    return response.GetStatus();
}

} // namespace Diag::Efs
