// A diagnostic port for tests that answers from a script. Each step names the
// exact request it expects and the answer: response bytes, a failed HRESULT,
// or a thrown non-COM exception. Mismatches are GoogleTest failures.
#pragma once

#include "diag/PortInterfaces.h"
#include "diag/ReservedSlots.h"
#include "platform/ComBase.h"
#include "platform/ComPtr.h"
#include "support/Packet.h"

#include <cstddef>
#include <deque>
#include <optional>

namespace TestSupport {

class ScriptedPort final : public Platform::ComBase<ScriptedPort, IDiagPort> {
public:
    // A new port with one reference, which the returned pointer owns.
    static Platform::ComPtr<ScriptedPort> create();

    // The next call must send `request` exactly; the port writes `response`
    // (no more than the capacity it is given) and reports its length, or
    // `reportedLength` when given.
    ScriptedPort& expect(const Bytes& request, const Bytes& response,
                         std::optional<std::uint16_t> reportedLength = std::nullopt);
    // The next call must send `request` and fails with `hr`.
    void expectFailure(const Bytes& request, HRESULT hr);
    // The next call must send `request` and throws std::runtime_error.
    void expectThrow(const Bytes& request);

    // QueryInterface for IDiagPort answers `hr` (and no pointer) from now on.
    void refuseDiagPort(HRESULT hr) { refusal_ = hr; }
    // Every call must pass this timeout.
    void expectTimeout(ULONG timeout) { timeout_ = timeout; }

    // Steps not yet called.
    std::size_t pending() const { return script_.size(); }
    // Calls received so far, and the response capacity the last one offered.
    std::size_t calls() const { return calls_; }
    USHORT lastCapacity() const { return lastCapacity_; }
    ULONG references()
    {
        AddRef();
        return Release();
    }
    IUnknown* unknown() { return this; }

    void* interfaceFor(REFIID iid);
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    VORNAK_RESERVED_SLOT(1)
    VORNAK_RESERVED_SLOT(2)
    VORNAK_RESERVED_SLOT(3)
    HRESULT STDMETHODCALLTYPE SendRequest(ULONG requestLength, const BYTE* request, ULONG constant1,
                                          ULONG constant0, ULONG timeout, USHORT* responseLength,
                                          BYTE* response) override;

private:
    struct Step {
        Bytes request;
        Bytes response;
        std::optional<std::uint16_t> reportedLength;
        HRESULT failure = S_OK;
        bool throwOther = false;
    };

    ScriptedPort() = default;

    HRESULT refusal_ = S_OK;
    std::optional<ULONG> timeout_;
    std::deque<Step> script_;
    std::size_t calls_ = 0;
    USHORT lastCapacity_ = 0;
};

} // namespace TestSupport
