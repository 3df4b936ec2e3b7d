// A diagnostic port in front of another whose work is left out of the
// allocation count, so that a benchmark counts only the client's allocations.
#pragma once

#include "AllocationCounter.h"
#include "diag/PortInterfaces.h"
#include "diag/ReservedSlots.h"
#include "platform/ComBase.h"
#include "platform/ComPtr.h"

namespace Bench {

class ClientOnlyPort final : public Platform::ComBase<ClientOnlyPort, IDiagPort> {
public:
    static Platform::ComPtr<IDiagPort> create(IDiagPort* inner)
    {
        return Platform::ComPtr<IDiagPort>::attach(new ClientOnlyPort(inner));
    }
    void* interfaceFor(REFIID iid)
    {
        return IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDiagPort)
                   ? static_cast<IDiagPort*>(this)
                   : nullptr;
    }
    VORNAK_RESERVED_SLOTS_1_TO_3
    HRESULT STDMETHODCALLTYPE SendRequest(ULONG requestLength, const BYTE* request, ULONG constant1,
                                          ULONG constant0, ULONG timeout, USHORT* responseLength,
                                          BYTE* response) override
    {
        NotCounted handsetSide;
        return inner_->SendRequest(requestLength, request, constant1, constant0, timeout,
                                   responseLength, response);
    }

private:
    explicit ClientOnlyPort(IDiagPort* inner)
        : inner_(inner)
    {}
    Platform::ComPtr<IDiagPort> inner_;
};

} // namespace Bench
