#include "tools/vornak-efs/PortWatch.h"

#include "diag/Efs2.h"
#include "diag/General.h"
#include "diag/LittleEndian.h"

namespace VornakEfs {

Platform::ComPtr<PortWatch> PortWatch::create(Platform::ComPtr<IDiagPort> port)
{
    return make(std::move(port));
}

PortWatch::PortWatch(Platform::ComPtr<IDiagPort> port)
    : port_(std::move(port))
{}

std::span<const ComServer::InterfaceEntry<PortWatch>> PortWatch::interfaceTable()
{
    static constexpr ComServer::InterfaceEntry<PortWatch> table[] = {
        ComServer::interfaceEntry<PortWatch, IDiagPort>(IID_IDiagPort),
    };
    return table;
}

HRESULT PortWatch::SendRequest(ULONG requestLength, const BYTE* request, ULONG constant1,
                               ULONG constant0, ULONG timeout, USHORT* responseLength,
                               BYTE* response)
{
    const HRESULT result = port_->SendRequest(requestLength, request, constant1, constant0, timeout,
                                              responseLength, response);
    if (FAILED(result)) {
        lastFailure_ = result;
        lastAnswer_ = Answer::None;
        return result;
    }
    namespace Efs2 = Diag::Efs2;
    const std::size_t length = *responseLength;
    if (length > 0 && Diag::General::isRefusal(response[0])) {
        lastAnswer_ = Answer::Refused;
    } else if (length >= Efs2::kHeaderSize && response[0] == Efs2::kSubsystemDispatch &&
               Diag::LittleEndian::read16(response + 2) == Efs2::ErrorResponse) {
        lastAnswer_ = Answer::ErrorPacket;
    } else {
        lastAnswer_ = Answer::Answered;
    }
    return result;
}

} // namespace VornakEfs
