// A diagnostic port for tests that passes every request on to another port
// and keeps a copy of each. It lends out the inner port's identity and
// server-port faces too, so the device files' log still reaches the inner
// port's log.
#pragma once

#include "diag/PortInterfaces.h"
#include "diag/ReservedSlots.h"
#include "platform/ComBase.h"
#include "platform/ComPtr.h"
#include "support/Packet.h"

#include <cstdint>
#include <vector>

namespace TestSupport {

class RecordingPort final : public Platform::ComBase<RecordingPort, IDiagPort> {
public:
    static Platform::ComPtr<RecordingPort> create(IDiagPort* inner)
    {
        return Platform::ComPtr<RecordingPort>::attach(new RecordingPort(inner));
    }

    // The commands of the requests so far, in order.
    std::vector<std::uint16_t> commands() const
    {
        std::vector<std::uint16_t> result;
        for (const Bytes& request : requests) {
            result.push_back(static_cast<std::uint16_t>(request[2] | request[3] << 8));
        }
        return result;
    }

    void* interfaceFor(REFIID iid)
    {
        const bool diag = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDiagPort);
        return diag ? static_cast<IDiagPort*>(this) : nullptr;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        // A test double may bend the identity rule this far.
        if (object != nullptr &&
            (IsEqualIID(iid, IID_IServerPort) || IsEqualIID(iid, IID_IPortIdentity))) {
            return inner_->QueryInterface(iid, object);
        }
        return ComBase::QueryInterface(iid, object);
    }
    VORNAK_RESERVED_SLOTS_1_TO_3
    HRESULT STDMETHODCALLTYPE SendRequest(ULONG length, const BYTE* request, ULONG constant1,
                                          ULONG constant0, ULONG timeout, USHORT* responseLength,
                                          BYTE* response) override
    {
        if (request != nullptr && length >= 4) {
            requests.emplace_back(request, request + length);
        }
        return inner_->SendRequest(length, request, constant1, constant0, timeout, responseLength,
                                   response);
    }

    std::vector<Bytes> requests;

private:
    explicit RecordingPort(IDiagPort* inner)
        : inner_(inner)
    {}

    Platform::ComPtr<IDiagPort> inner_;
};

} // namespace TestSupport
