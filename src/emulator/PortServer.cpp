#include "emulator/PortServer.h"

namespace Emulator {

Platform::ComPtr<PortServer> PortServer::create()
{
    return make();
}

std::span<const ComServer::InterfaceEntry<PortServer>> PortServer::interfaceTable()
{
    static constexpr ComServer::InterfaceEntry<PortServer> table[] = {
        ComServer::interfaceEntry<PortServer, IPortServer>(IID_IPortServer),
        ComServer::interfaceEntry<PortServer, IPortDirectory>(IID_IPortDirectory),
    };
    return table;
}

HRESULT PortServer::addPort(IUnknown* port)
{
    Platform::ComPtr<IPortIdentity> identity;
    Platform::ComPtr<IServerPort> serverPort;
    HRESULT hr = Platform::queryInterfaceNoThrow(port, IID_IPortIdentity, identity);
    if (SUCCEEDED(hr)) {
        hr = Platform::queryInterfaceNoThrow(port, IID_IServerPort, serverPort);
    }
    ULONG id = 0;
    if (SUCCEEDED(hr)) {
        hr = identity->GetPortId(&id);
    }
    if (FAILED(hr)) {
        return hr;
    }
    std::lock_guard lock(mutex_);
    ports_.push_back({id, std::move(serverPort)});
    return S_OK;
}

HRESULT PortServer::GetPortDirectory(IPortDirectory** directory)
{
    if (directory == nullptr) {
        return E_POINTER;
    }
    *directory = static_cast<IPortDirectory*>(this);
    AddRef();
    return S_OK;
}

HRESULT PortServer::GetPort(ULONG portId, IServerPort** port)
{
    if (port == nullptr) {
        return E_POINTER;
    }
    *port = nullptr;
    std::lock_guard lock(mutex_);
    for (const Entry& entry : ports_) {
        if (entry.id == portId) {
            *port = entry.port.get();
            (*port)->AddRef();
            return S_OK;
        }
    }
    return kNoSuchPort;
}

} // namespace Emulator
