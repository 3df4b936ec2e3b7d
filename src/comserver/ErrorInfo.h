// Error information at the COM boundary: the one routine that records it for
// the calling thread, and the guard that every method which can fail inside
// the system runs its body in, turning what the body throws into an HRESULT.
#pragma once

#include "diag/CEFSException.h"
#include "platform/Bstr.h"
#include "platform/Com.h"

#include <string_view>

namespace Vornak {

// Records error information for the calling thread: `iid` as the interface,
// the ProgID of `clsid` as the source (left unset when the class has none),
// `helpContext` with an empty help file when it is not 0, and `description`.
// Returns `hr`, or DISP_E_EXCEPTION when `hr` is 0. `description` is
// Windows-1252 text; when its wide copy cannot be made the result is
// E_OUTOFMEMORY and nothing is recorded.
HRESULT reportError(REFCLSID clsid, std::string_view description, DWORD helpContext, REFIID iid,
                    HRESULT hr) noexcept;
// The same with a wide description; null is the empty text.
HRESULT reportError(REFCLSID clsid, const OLECHAR* description, DWORD helpContext, REFIID iid,
                    HRESULT hr) noexcept;

// E_NOTIMPL for a method that a class does not support, recorded with
// `method` ("IStream::Clone") as description and help context 0.
HRESULT reportNotImplemented(REFCLSID clsid, REFIID iid, const char* method) noexcept;

// The description (null when there is none) and help context of the error
// information that a _com_error carries.
struct ComErrorDetails {
    Platform::Bstr description;
    DWORD helpContext = 0;
};
ComErrorDetails comErrorDetails(const _com_error& error) noexcept;

// Where a class reports the failures of its guarded methods: its class (for
// the source), the interface of the error information, and the HRESULT for
// an exception that is neither a protocol nor a COM error.
struct Boundary {
    const CLSID* clsid;
    const IID* iid;
    HRESULT otherFailure;
};

// The handlers of guard(), in their order: CEFSException gives
// VORNAK_E_HANDSET with its message and code as help context; _com_error its
// own HRESULT with the description and help context of its error
// information (a success passes through unrecorded).
HRESULT reportException(const Boundary& boundary, const CEFSException& exception) noexcept;
HRESULT reportException(const Boundary& boundary, const _com_error& error) noexcept;

// Runs `body`, a callable returning an HRESULT. Whatever it throws becomes an
// HRESULT with error information; an exception of any other type gives the
// boundary's own HRESULT with an empty description and help context 0.
template <class Body>
HRESULT guard(const Boundary& boundary, Body&& body) noexcept
{
    try {
        return body();
    } catch (const CEFSException& exception) {
        return reportException(boundary, exception);
    } catch (const _com_error& error) {
        return reportException(boundary, error);
    } catch (...) {
        return reportError(*boundary.clsid, nullptr, 0, *boundary.iid, boundary.otherFailure);
    }
}

} // namespace Vornak
