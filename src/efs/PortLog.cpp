#include "efs/PortLog.h"

#include "diag/PortInterfaces.h"
#include "platform/Bstr.h"
#include "platform/ComPtr.h"

#include <new>

namespace Efs {

HRESULT writePortLogNoThrow(IUnknown* port, std::u16string_view text) noexcept
{
    using Platform::ComPtr;
    try {
        ComPtr<ILogSink> sink;
        ComPtr<IServerPort> serverPort;
        if (SUCCEEDED(Platform::queryInterfaceNoThrow(port, IID_IServerPort, serverPort))) {
            ComPtr<IUnknown> log;
            const HRESULT hr = serverPort->GetLog(log.put());
            if (FAILED(hr)) {
                return hr;
            }
            const HRESULT query = Platform::queryInterfaceNoThrow(log.get(), IID_ILogSink, sink);
            if (FAILED(query)) {
                return query;
            }
        } else {
            const HRESULT query = Platform::queryInterfaceNoThrow(port, IID_ILogSink, sink);
            if (FAILED(query)) {
                return query;
            }
        }
        if (!sink) {
            return E_POINTER;
        }
        Platform::Bstr line(text);
        return sink->LogMessage(line.get());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        // The port is the client's object: whatever it throws stays here.
        return E_UNEXPECTED;
    }
}

} // namespace Efs
