#include "platform/ComError.h"

#include "platform/ComPtr.h"

namespace Platform {

void throwIfFailed(HRESULT hr)
{
    if (FAILED(hr)) {
        throw _com_error(hr);
    }
}

#if defined(_WIN32)

void throwIfFailed(HRESULT hr, IUnknown* callee, REFIID iid)
{
    if (SUCCEEDED(hr)) {
        return;
    }
    ComPtr<IErrorInfo> errorInfo;
    ComPtr<ISupportErrorInfo> support;
    if (SUCCEEDED(queryInterfaceNoThrow(callee, IID_ISupportErrorInfo, support)) &&
        support->InterfaceSupportsErrorInfo(iid) == S_OK &&
        GetErrorInfo(0, errorInfo.put()) != S_OK) {
        errorInfo.reset();
    }
    // _com_error takes over the reference to the error information.
    throw _com_error(hr, errorInfo.detach(), false);
}

#else

void throwIfFailed(HRESULT hr, IUnknown*, REFIID)
{
    throwIfFailed(hr);
}

#endif

} // namespace Platform
