// Failed calls into other COM objects become _com_error, the platform's
// exception for them. The ...NoThrow helpers of other files return an HRESULT;
// these throw.
#pragma once

#include "platform/Com.h"

namespace Platform {

// Throws _com_error(hr) when hr is a failure.
void throwIfFailed(HRESULT hr);

// Throws _com_error(hr) when hr is a failure, carrying the error information
// that `callee` offers for `iid` (on Windows, through ISupportErrorInfo).
void throwIfFailed(HRESULT hr, IUnknown* callee, REFIID iid);

} // namespace Platform
