#include "comserver/ErrorInfo.h"

#include "comserver/TaskMemory.h"
#include "lang/Windows1252.h"
#include "platform/ComPtr.h"

#include <string>

namespace ComServer {

HRESULT reportError(REFCLSID clsid, const OLECHAR* description, DWORD helpContext, REFIID iid,
                    HRESULT hr) noexcept
{
    Platform::ComPtr<ICreateErrorInfo> created;
    if (SUCCEEDED(CreateErrorInfo(created.put()))) {
        created->SetGUID(iid);
        TaskMemory<OLECHAR> progId;
        if (SUCCEEDED(ProgIDFromCLSID(clsid, progId.put()))) {
            created->SetSource(progId.get());
        }
        if (helpContext != 0) {
            created->SetHelpContext(helpContext);
            OLECHAR noFile[] = {0};
            created->SetHelpFile(noFile);
        }
        OLECHAR empty[] = {0};
        created->SetDescription(description != nullptr ? const_cast<LPOLESTR>(description) : empty);
        Platform::ComPtr<IErrorInfo> info;
        if (SUCCEEDED(Platform::queryInterfaceNoThrow(created.get(), IID_IErrorInfo, info))) {
            SetErrorInfo(0, info.get());
        }
    }
    return hr == S_OK ? DISP_E_EXCEPTION : hr;
}

HRESULT reportError(REFCLSID clsid, std::string_view description, DWORD helpContext, REFIID iid,
                    HRESULT hr) noexcept
{
    std::wstring wide;
    try {
        wide.reserve(description.size());
        for (const char byte : description) {
            wide += static_cast<wchar_t>(
                Lang::Platform::Windows1252::decodeByte(static_cast<unsigned char>(byte)));
        }
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return reportError(clsid, wide.c_str(), helpContext, iid, hr);
}

HRESULT reportNotImplemented(REFCLSID clsid, REFIID iid, const char* method) noexcept
{
    return reportError(clsid, std::string_view(method), 0, iid, E_NOTIMPL);
}

ComErrorDetails comErrorDetails(const _com_error& error) noexcept
{
    ComErrorDetails details;
    auto info = Platform::ComPtr<IErrorInfo>::attach(error.ErrorInfo());
    if (info) {
        if (FAILED(info->GetDescription(details.description.put()))) {
            details.description.put();
        }
        if (FAILED(info->GetHelpContext(&details.helpContext))) {
            details.helpContext = 0;
        }
    }
    return details;
}

} // namespace ComServer
