#include "tools/vornak-efs/PortWatch.h"

namespace VornakEfs {

Platform::ComPtr<PortWatch> PortWatch::create(Platform::ComPtr<IDiagPort> port)
{
    return Platform::ComPtr<PortWatch>::attach(new PortWatch(std::move(port)));
}

PortWatch::PortWatch(Platform::ComPtr<IDiagPort> port)
    : port_(std::move(port))
{}

void* PortWatch::interfaceFor(REFIID iid)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDiagPort)) {
        return static_cast<IDiagPort*>(this);
    }
    return nullptr;
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
