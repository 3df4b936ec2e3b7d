#include "diag/EFSHello.h"

namespace Diag::Efs {

Commands::Hello::Hello(const HelloParameters& offered, std::uint8_t subsystemId)
    : RequestPacket(subsystemId, Efs2::Hello)
{
    put32<4>(offered.targetPackets);
    put32<8>(offered.targetBytes);
    put32<12>(offered.hostPackets);
    put32<16>(offered.hostBytes);
    put32<20>(offered.iteratorPackets);
    put32<24>(offered.iteratorBytes);
    put32<28>(offered.version);
    put32<32>(offered.minVersion);
    put32<36>(offered.maxVersion);
    put32<40>(offered.features);
}

HelloParameters Responses::Hello::GetParameters() const
{
    HelloParameters settled;
    settled.targetPackets = get32<4>();
    settled.targetBytes = get32<8>();
    settled.hostPackets = get32<12>();
    settled.hostBytes = get32<16>();
    settled.iteratorPackets = get32<20>();
    settled.iteratorBytes = get32<24>();
    settled.version = get32<28>();
    settled.minVersion = get32<32>();
    settled.maxVersion = get32<36>();
    settled.features = get32<40>();
    return settled;
}

HelloParameters Hello::Execute(const HelloParameters& offered)
{
    Commands::Hello request(offered, GetSubsystemId());
    Responses::Hello response;
    try {
        Transact(request, request.GetLength(), response);
    } catch (const CEFSException& e) {
        throw CEFSException("EFS2_DIAG_HELLO", e);
    }
    return response.GetParameters();
}

} // namespace Diag::Efs
