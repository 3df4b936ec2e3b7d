// The port server of emulated handsets: IPortServer, and the directory of its
// ports by identifier. In-process it stands in for the real component in
// tests; the emulated port server program serves it to other processes.
#pragma once

#include "comserver/ComObject.h"
#include "diag/PortInterfaces.h"
#include "diag/ReservedSlots.h"
#include "platform/ComPtr.h"

#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

namespace Emulator {

class PortServer final : public ComServer::ComObject<PortServer, IPortServer, IPortDirectory> {
public:
    // HRESULT_FROM_WIN32(ERROR_NOT_FOUND): no port has the identifier asked for.
    static constexpr HRESULT kNoSuchPort = static_cast<HRESULT>(0x80070490u);

    static Platform::ComPtr<PortServer> create();

    // Adds a port, found later by the identifier its IPortIdentity gives.
    // The port must also offer IServerPort.
    HRESULT addPort(IUnknown* port);

    static std::span<const ComServer::InterfaceEntry<PortServer>> interfaceTable();

    // Both interfaces number their unused slots from 1.
    VORNAK_RESERVED_SLOTS_1_TO_17
    HRESULT STDMETHODCALLTYPE GetPortDirectory(IPortDirectory** directory) override;
    HRESULT STDMETHODCALLTYPE GetPort(ULONG portId, IServerPort** port) override;

private:
    friend ComObject;
    PortServer() = default;

    struct Entry {
        ULONG id;
        Platform::ComPtr<IServerPort> port;
    };
    std::mutex mutex_;
    std::vector<Entry> ports_;
};

} // namespace Emulator
