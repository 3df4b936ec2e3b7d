// Error information at the COM boundary: the one routine that records it for
// the calling thread, and what a _com_error carries of it.
#pragma once

#include "platform/Bstr.h"
#include "platform/Com.h"

#include <string_view>

namespace ComServer {

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

} // namespace ComServer
