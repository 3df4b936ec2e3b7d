// What a client of the port server program gets from CoCreateInstance:
// IPortServer over an emulator port server whose port 1 carries requests to
// the process's handset, and IPortServerControl over the same handset and its
// port's log. Every activation gets an object of its own; all of them serve
// the one handset.
#pragma once

#include "ServedHandset.h"
#include "comserver/ComObject.h"
#include "comserver/Guard.h"
#include "diag/PortInterfaces.h"
#include "diag/ReservedSlots.h"
#include "emulator/PortServer.h"
#include "platform/ComPtr.h"

#include <PortServerControl.h>

#include <memory>
#include <span>

namespace PortServerProgram {

class PortServerObject final
    : public ComServer::ComObject<PortServerObject, IPortServer, IPortServerControl> {
public:
    // The identifier of the one port.
    static constexpr ULONG kPortId = 1;

    // A new object over `served`, holding one reference for the caller.
    // Throws std::bad_alloc, or _com_error when the port cannot be added.
    static Platform::ComPtr<IPortServer> create(std::shared_ptr<ServedHandset> served);

    // Where the server's methods report their failures: for `iid`, under
    // CLSID_PortServer; a handset that cannot take a file is out of room
    // (ERROR_DISK_FULL), a name it refuses E_INVALIDARG.
    static ComServer::Boundary boundary(REFIID iid);

    static std::span<const ComServer::InterfaceEntry<PortServerObject>> interfaceTable();

    // IPortServer
    VORNAK_RESERVED_SLOTS_1_TO_7
    HRESULT STDMETHODCALLTYPE GetPortDirectory(IPortDirectory** directory) override;

    // IPortServerControl
    HRESULT STDMETHODCALLTYPE PutFile(BSTR path, ULONG count, const BYTE* data) override;
    HRESULT STDMETHODCALLTYPE ReadFile(BSTR path, ULONG* count, BYTE* data) override;
    HRESULT STDMETHODCALLTYPE QueueFault(PortFaultKind kind, ULONG value, LONG command) override;
    HRESULT STDMETHODCALLTYPE ClearFaults() override;
    HRESULT STDMETHODCALLTYPE GetPendingFaults(ULONG* count) override;
    HRESULT STDMETHODCALLTYPE GetOpenDescriptors(ULONG* count) override;
    HRESULT STDMETHODCALLTYPE GetLogLineCount(ULONG* count) override;
    HRESULT STDMETHODCALLTYPE GetLogLine(ULONG index, BSTR* line) override;
    HRESULT STDMETHODCALLTYPE GetServerProcessId(ULONG* processId) override;

private:
    friend ComObject;
    PortServerObject(std::shared_ptr<ServedHandset> served,
                     Platform::ComPtr<Emulator::PortServer> server);

    std::shared_ptr<ServedHandset> served_;
    Platform::ComPtr<Emulator::PortServer> server_;
};

} // namespace PortServerProgram
