// A diagnostic port in front of another whose work is left out of the
// allocation count, so that a benchmark counts only the client's allocations.
#pragma once

#include "AllocationCounter.h"
#include "comserver/ComObject.h"
#include "diag/PortInterfaces.h"
#include "diag/ReservedSlots.h"
#include "platform/ComPtr.h"

#include <span>

namespace Bench {

class ClientOnlyPort final : public ComServer::ComObject<ClientOnlyPort, IDiagPort> {
public:
    static Platform::ComPtr<IDiagPort> create(IDiagPort* inner) { return make<IDiagPort>(inner); }
    static std::span<const ComServer::InterfaceEntry<ClientOnlyPort>> interfaceTable()
    {
        static constexpr ComServer::InterfaceEntry<ClientOnlyPort> table[] = {
            ComServer::interfaceEntry<ClientOnlyPort, IDiagPort>(IID_IDiagPort),
        };
        return table;
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
    friend ComObject;
    explicit ClientOnlyPort(IDiagPort* inner)
        : inner_(inner)
    {}
    Platform::ComPtr<IDiagPort> inner_;
};

} // namespace Bench
