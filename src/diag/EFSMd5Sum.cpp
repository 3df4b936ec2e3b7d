#include "diag/EFSMd5Sum.h"

#include <algorithm>

namespace Diag::Efs {

namespace {
constexpr const char* kFile = "diag\\EFSMd5Sum";
} // namespace

Commands::Md5Sum::Md5Sum(std::uint16_t sequence, std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Efs2::Md5Sum)
{
    put16<4>(sequence);
}

std::int16_t Commands::Md5Sum::SetPath(std::u16string_view path)
{
    return static_cast<std::int16_t>(putPath<6>(path, "EFS2_DIAG_MD5SUM", __LINE__, kFile));
}

Md5Digest Responses::Md5Sum::GetDigest() const
{
    Md5Digest digest;
    std::copy_n(bytes() + kDigestOffset, digest.size(), digest.begin());
    return digest;
}

Md5Digest Md5Sum::Execute(std::u16string_view path)
{
    const std::uint16_t sequence = NextSequence();
    Commands::Md5Sum request(sequence, GetSubsystemId());
    Responses::Md5Sum response;
    const std::int16_t length = request.SetPath(path);
    try {
        Transact(request, length, response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_MD5SUM", e);
    }
    CheckSequence(sequence, response.GetSequence(), "EFS2_DIAG_MD5SUM", __LINE__, kFile);
    return response.GetDigest();
}

} // namespace Diag::Efs
