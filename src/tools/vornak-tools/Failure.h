// How the methods of the module's classes fail. Their bodies throw Failure,
// with words of their own, or PassedOn, for another object's failure that the
// caller is to read as that object told it; both are the module's own types
// in the one guard (comserver/Guard.h), which also takes what else a body
// throws (a _com_error, no memory) and turns it into an HRESULT.
#pragma once

#include "comserver/Guard.h"
#include "platform/Com.h"
#include "platform/ComPtr.h"

#include <optional>
#include <string>

namespace VornakTools {

struct Failure {
    HRESULT hr;
    std::wstring description;
    DWORD helpContext = 0;
};

// A failure of another object, with the error information it left.
struct PassedOn {
    HRESULT hr;
    Platform::ComPtr<IErrorInfo> info;
};

// Calls another object and throws its failure as PassedOn. The thread's
// error information is cleared first, so none of it is stale.
template <class Call>
void callPassingErrors(Call&& call)
{
    SetErrorInfo(0, nullptr);
    const HRESULT hr = call();
    if (FAILED(hr)) {
        PassedOn failure{hr, nullptr};
        if (GetErrorInfo(0, failure.info.put()) != S_OK) {
            failure.info.reset();
        }
        throw failure;
    }
}

// The hook of the module's boundaries: a Failure is recorded for the
// boundary's class, a PassedOn hands its own error information on untouched.
std::optional<HRESULT> reportToolFailure(const ComServer::Boundary& boundary) noexcept;

// The boundary of a method of `clsid` that records its failures for `iid`:
// no memory is E_OUTOFMEMORY, any other exception E_UNEXPECTED.
constexpr ComServer::Boundary
boundary(const CLSID& clsid, const IID& iid,
         std::optional<HRESULT> (*ownExceptions)(const ComServer::Boundary&) noexcept =
             &reportToolFailure)
{
    return {&clsid, &iid, E_UNEXPECTED, E_OUTOFMEMORY, ownExceptions};
}

} // namespace VornakTools
