#include "diag/EFSGet.h"

#include <cstring>

namespace Diag::Efs {

namespace {
constexpr const char* kFile = "diag\\EFSGet";
} // namespace

Commands::Get::Get(std::uint32_t wanted, std::uint16_t sequence, std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Efs2::Get)
{
    put32<4>(wanted);
    put16<12>(sequence);
}

std::int16_t Commands::Get::SetPath(std::u16string_view path)
{
    constexpr std::size_t kPathOffset = 14;
    const std::size_t end = putPath<kPathOffset>(path, "EFS2_DIAG_GET", __LINE__, kFile);
    put32<8>(static_cast<std::uint32_t>(end - kPathOffset));
    return static_cast<std::int16_t>(end);
}

bool Responses::Get::IsValidLength(std::uint16_t length) const
{
    return static_cast<std::uint16_t>(length - kDataOffset) <= Efs2::kMaxItemData;
}

std::uint32_t Get::Execute(std::u16string_view path, std::uint8_t* destination,
                           std::uint32_t capacity)
{
    if (capacity > Efs2::kMaxItemData) {
        throw CEFSException("EFS2_DIAG_GET", EFSERR_ITEM_TOO_LARGE, __LINE__, kFile);
    }
    const std::uint16_t sequence = NextSequence();
    Commands::Get request(capacity, sequence, GetSubsystemId());
    Responses::Get response;
    const std::int16_t length = request.SetPath(path);
    std::uint16_t received = 0;
    try {
        received = Transact(request, length, response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_GET", e);
    }
    CheckSequence(sequence, response.GetSequence(), "EFS2_DIAG_GET", __LINE__, kFile);
    // The count is a copy size: never more than was asked for or arrived.
    const std::int32_t count = response.GetCount();
    const std::uint32_t arrived = received - std::uint32_t{Responses::Get::kDataOffset};
    if (count < 0 || static_cast<std::uint32_t>(count) > capacity ||
        static_cast<std::uint32_t>(count) > arrived) {
        throw CEFSException("EFS2_DIAG_GET", EFSERR_BAD_RESPONSE, __LINE__, kFile);
    }
    if (count > 0) {
        std::memcpy(destination, response.GetData(), static_cast<std::size_t>(count));
    }
    return static_cast<std::uint32_t>(count);
}

} // namespace Diag::Efs
