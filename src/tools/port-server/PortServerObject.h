// What a client of the port server program gets from CoCreateInstance:
// IPortServer over an emulator port server whose port 1 carries requests to
// the process's handset, and IPortServerControl over the same handset and its
// port's log. Every activation gets an object of its own; all of them serve
// the one handset.
#pragma once

#include "ServedHandset.h"
#include "diag/PortInterfaces.h"
#include "diag/ReservedSlots.h"
#include "emulator/PortServer.h"
#include "platform/ComBase.h"
#include "platform/ComPtr.h"

#include <PortServerControl.h>

#include <memory>

namespace PortServerProgram {

class PortServerObject final
    : public Platform::ComBase<PortServerObject, IPortServer, IPortServerControl> {
public:
    // The identifier of the one port.
    static constexpr ULONG kPortId = 1;

    // A new object over `served`, holding one reference for the caller.
    // Throws std::bad_alloc, or _com_error when the port cannot be added.
    static Platform::ComPtr<IPortServer> create(std::shared_ptr<ServedHandset> served);

    void* interfaceFor(REFIID iid);

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
    PortServerObject(std::shared_ptr<ServedHandset> served,
                     Platform::ComPtr<Emulator::PortServer> server);

    std::shared_ptr<ServedHandset> served_;
    Platform::ComPtr<Emulator::PortServer> server_;
};

} // namespace PortServerProgram
