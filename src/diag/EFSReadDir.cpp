#include "diag/EFSReadDir.h"

#include <algorithm>

namespace {
constexpr const char* kFile = "..\\CommonLib\\EfsReadDir";
constexpr std::uint32_t kWrongHandleLine = 205;
} // namespace

CEFSReadDirCmd::CEFSReadDirCmd(std::uint32_t dirp, std::uint32_t seqno, std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Diag::Efs2::ReadDir)
{
    put32<4>(dirp);
    put32<8>(seqno);
}

bool CEFSReadDirRsp::IsValidLength(std::uint16_t length) const
{
    return static_cast<std::uint16_t>(length - (kNameOffset + 1)) <= Diag::Efs2::kMaxPath;
}

std::string CEFSReadDirRsp::GetName(std::uint16_t length) const
{
    // One byte or none is no name (the handset's end of the directory); the
    // length check keeps a caller's wrong length inside the buffer.
    const std::size_t received = length > kNameOffset ? length - kNameOffset : 0u;
    if (received <= 1 || length > GetCapacity()) {
        return {};
    }
    const std::uint8_t* begin = bytes() + kNameOffset;
    const std::uint8_t* end = std::find(begin, begin + received, std::uint8_t{0});
    return std::string(begin, end);
}

std::string CEFSReadDir::Execute(std::uint32_t dirp, std::uint32_t& seqno, std::uint32_t& type,
                                 std::uint32_t& mode, std::uint32_t& size, std::uint32_t& atime,
                                 std::uint32_t& mtime, std::uint32_t& ctime)
{
    CEFSReadDirCmd request(dirp, seqno, GetSubsystemId());
    CEFSReadDirRsp response;
    std::uint16_t length = 0;
    try {
        length = Transact(request, request.GetLength(), response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_READDIR", e);
    }
    if (response.GetDirp() != dirp) {
        throw CEFSException("EFS2_DIAG_READDIR", EFSERR_WRONG_HANDLE, kWrongHandleLine, kFile);
    }
    // The handset may skip entries; its number, not ours, says where we are.
    seqno = response.GetSeqno();
    type = response.GetType();
    mode = response.GetMode();
    size = response.GetSize();
    atime = response.GetAccessTime();
    mtime = response.GetModificationTime();
    ctime = response.GetChangeTime();
    return response.GetName(length);
}

Marl::Common::EfsReadDirEntry CEFSReadDir::Read(std::uint32_t dirp, std::uint32_t& seqno)
{
    std::uint32_t type = 0;
    std::uint32_t mode = 0;
    std::uint32_t size = 0;
    std::uint32_t atime = 0;
    std::uint32_t mtime = 0;
    std::uint32_t ctime = 0;
    std::string name = Execute(dirp, seqno, type, mode, size, atime, mtime, ctime);
    return Marl::Common::EfsReadDirEntry(std::move(name), type, mode, size, atime, mtime, ctime);
}
