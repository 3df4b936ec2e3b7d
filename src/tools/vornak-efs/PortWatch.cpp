#include "tools/vornak-efs/PortWatch.h"

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
    }
    return result;
}

} // namespace VornakEfs
