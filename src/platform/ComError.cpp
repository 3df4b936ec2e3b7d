#include "platform/ComError.h"

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
    IErrorInfo* errorInfo = nullptr;
    ISupportErrorInfo* support = nullptr;
    if (callee != nullptr && SUCCEEDED(callee->QueryInterface(
                                 IID_ISupportErrorInfo, reinterpret_cast<void**>(&support)))) {
        if (support->InterfaceSupportsErrorInfo(iid) == S_OK &&
            GetErrorInfo(0, &errorInfo) != S_OK) {
            errorInfo = nullptr;
        }
        support->Release();
    }
    // _com_error takes over the reference to the error information.
    throw _com_error(hr, errorInfo, false);
}

#else

void throwIfFailed(HRESULT hr, IUnknown*, REFIID)
{
    throwIfFailed(hr);
}

#endif

} // namespace Platform
