// A diagnostic port for tests that answers from a script. Each step names the
// exact request it expects and the answer: response bytes, a failed HRESULT,
// or a thrown non-COM exception. Mismatches are GoogleTest failures.
#pragma once

#include "comserver/ComObject.h"
#include "diag/PortInterfaces.h"
#include "diag/ReservedSlots.h"
#include "platform/ComPtr.h"
#include "support/Packet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <deque>
#include <optional>
#include <span>
#include <stdexcept>

namespace TestSupport {

class ScriptedPort final : public ComServer::ComObject<ScriptedPort, IDiagPort> {
public:
    // A new port with one reference, which the returned pointer owns.
    static Platform::ComPtr<ScriptedPort> create() { return make(); }

    // The next call must send `request` exactly; the port writes `response`
    // (no more than the capacity it is given) and reports its length, or
    // `reportedLength` when given.
    ScriptedPort& expect(const Bytes& request, const Bytes& response,
                         std::optional<std::uint16_t> reportedLength = std::nullopt)
    {
        script_.push_back(Step{request, response, reportedLength});
        return *this;
    }
    // The next call must send `request` and fails with `hr`.
    void expectFailure(const Bytes& request, HRESULT hr)
    {
        script_.push_back(Step{request, {}, std::nullopt, hr});
    }
    // The next call must send `request` and throws std::runtime_error.
    void expectThrow(const Bytes& request)
    {
        script_.push_back(Step{request, {}, std::nullopt, S_OK, true});
    }

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

    static std::span<const ComServer::InterfaceEntry<ScriptedPort>> interfaceTable()
    {
        static constexpr ComServer::InterfaceEntry<ScriptedPort> table[] = {
            ComServer::interfaceEntry<ScriptedPort, IDiagPort>(IID_IDiagPort),
        };
        return table;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (out != nullptr && IsEqualIID(iid, IID_IDiagPort) && FAILED(refusal_)) {
            *out = nullptr;
            return refusal_;
        }
        return ComObject::QueryInterface(iid, out);
    }
    VORNAK_RESERVED_SLOTS_1_TO_3
    HRESULT STDMETHODCALLTYPE SendRequest(ULONG requestLength, const BYTE* request, ULONG constant1,
                                          ULONG constant0, ULONG timeout, USHORT* responseLength,
                                          BYTE* response) override
    {
        ++calls_;
        EXPECT_EQ(constant1, 1u);
        EXPECT_EQ(constant0, 0u);
        if (timeout_) {
            EXPECT_EQ(timeout, *timeout_);
        }
        if (script_.empty()) {
            ADD_FAILURE() << "unexpected request of " << requestLength << " bytes";
            return E_UNEXPECTED;
        }
        const Step step = script_.front();
        script_.pop_front();
        EXPECT_EQ(Bytes(request, request + requestLength), step.request);

        lastCapacity_ = *responseLength;
        if (step.throwOther) {
            throw std::runtime_error("the port is gone");
        }
        if (FAILED(step.failure)) {
            return step.failure;
        }
        std::copy_n(step.response.begin(),
                    std::min<std::size_t>(step.response.size(), lastCapacity_), response);
        *responseLength = step.reportedLength.value_or(static_cast<USHORT>(step.response.size()));
        return S_OK;
    }

private:
    struct Step {
        Bytes request;
        Bytes response;
        std::optional<std::uint16_t> reportedLength;
        HRESULT failure = S_OK;
        bool throwOther = false;
    };

    friend ComObject;
    ScriptedPort() = default;

    HRESULT refusal_ = S_OK;
    std::optional<ULONG> timeout_;
    std::deque<Step> script_;
    std::size_t calls_ = 0;
    USHORT lastCapacity_ = 0;
};

} // namespace TestSupport
