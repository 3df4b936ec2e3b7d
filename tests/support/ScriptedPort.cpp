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

ScriptedPort& ScriptedPort::expectFailure(const Bytes& request, HRESULT hr)
{
    Step step{request, {}, std::nullopt};
    step.failure = hr;
    script_.push_back(step);
    return *this;
}

ScriptedPort& ScriptedPort::expectThrow(const Bytes& request)
{
    Step step{request, {}, std::nullopt};
    step.throwOther = true;
    script_.push_back(step);
    return *this;
}

HRESULT STDMETHODCALLTYPE ScriptedPort::QueryInterface(REFIID iid, void** out)
{
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    if (IsEqualIID(iid, IID_IDiagPort) && FAILED(refusal_)) {
        return refusal_;
    }
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDiagPort)) {
        *out = static_cast<IDiagPort*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE ScriptedPort::AddRef()
{
    return ++references_;
}

ULONG STDMETHODCALLTYPE ScriptedPort::Release()
{
    const ULONG left = --references_;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT ScriptedPort::neverCalled(const char* method)
{
    ADD_FAILURE() << "IDiagPort::" << method << " called";
    return E_NOTIMPL;
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
