#include "support/ScriptedPort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

namespace TestSupport {

Platform::ComPtr<ScriptedPort> ScriptedPort::create()
{
    return Platform::ComPtr<ScriptedPort>::attach(new ScriptedPort());
}

ScriptedPort& ScriptedPort::expect(const Bytes& request, const Bytes& response,
                                   std::optional<std::uint16_t> reportedLength)
{
    script_.push_back(Step{request, response, reportedLength});
    return *this;
}

void ScriptedPort::expectFailure(const Bytes& request, HRESULT hr)
{
    script_.push_back(Step{request, {}, std::nullopt, hr});
}

void ScriptedPort::expectThrow(const Bytes& request)
{
    script_.push_back(Step{request, {}, std::nullopt, S_OK, true});
}

void* ScriptedPort::interfaceFor(REFIID iid)
{
    const bool diag = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDiagPort);
    return diag ? static_cast<IDiagPort*>(this) : nullptr;
}

HRESULT STDMETHODCALLTYPE ScriptedPort::QueryInterface(REFIID iid, void** out)
{
    if (out != nullptr && IsEqualIID(iid, IID_IDiagPort) && FAILED(refusal_)) {
        *out = nullptr;
        return refusal_;
    }
    return ComBase::QueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE ScriptedPort::SendRequest(ULONG requestLength, const BYTE* request,
                                                    ULONG constant1, ULONG constant0, ULONG timeout,
                                                    USHORT* responseLength, BYTE* response)
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
    const std::size_t written = std::min<std::size_t>(step.response.size(), lastCapacity_);
    std::copy_n(step.response.begin(), written, response);
    *responseLength = step.reportedLength.value_or(static_cast<USHORT>(step.response.size()));
    return S_OK;
}

} // namespace TestSupport
