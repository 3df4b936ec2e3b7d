#include "diag/EFSRename.h"

#include <utility>

namespace {
constexpr const char* kPathFile = "vornak\\EFSRename";
constexpr std::uint32_t kOldPathTooLongLine = 35;
constexpr std::uint32_t kNewPathTooLongLine = 42;
} // namespace

CEFSNamePair::CEFSNamePair(std::u16string oldName, std::u16string newName)
    : oldName_(std::move(oldName))
    , newName_(std::move(newName))
{}

CEFSNamePair::~CEFSNamePair() = default;

CEFSRenameCmd::CEFSRenameCmd(std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Diag::Efs2::Rename)
{}

std::int16_t CEFSRenameCmd::SetNames(const CEFSNamePair& names)
{
    using Diag::Efs::encodePath;
    const std::string oldPath =
        encodePath(names.GetOldName(), "EFS2_DIAG_RENAME", kOldPathTooLongLine, kPathFile);
    const std::string newPath =
        encodePath(names.GetNewName(), "EFS2_DIAG_RENAME", kNewPathTooLongLine, kPathFile);
    // Two paths of at most 1024 bytes with their NULs end at 2054 at most.
    const std::size_t end = putText(putText(4, oldPath), newPath);
    return static_cast<std::int16_t>(end);
}

void CEFSRename::Execute(std::u16string_view oldPath, std::u16string_view newPath)
{
    CEFSRenameCmd request(GetSubsystemId());
    CEFSRenameRsp response;
    const std::int16_t length =
        request.SetNames(CEFSNamePair(std::u16string(oldPath), std::u16string(newPath)));
    try {
        Transact(request, length, response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_RENAME", e);
    }
}
