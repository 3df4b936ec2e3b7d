// The emulated port as a creatable COM object (coclass EmulatedPort): one
// emulated handset behind the diagnostic port interfaces, which it hands to
// an Emulator::EmulatedPort, and IEmulatedPort for the scripts and tests that
// build the handset's content and script its faults.
//
// Registered "Free": the port lives in the multithreaded apartment beside
// Vornak's free-threaded objects, so that Vornak always gets the object
// itself. A script's single-threaded apartment holds a proxy, which it calls
// through IDispatch; when it hands that proxy to a folder's Connect, the
// folder's apartment unmarshals it to the object. Were the port in the
// script's apartment, the folder would get a proxy, and IDiagPort, a custom
// interface, has no proxy to travel through. (The free-threaded marshaler
// does not help under Wine: Wine marshals the arguments of calls between
// apartments for another process (MSHCTX_LOCAL), and for that the marshaler
// falls back to a proxy.) Methods run on any thread of that apartment, which
// the handset's lock and this object's own lock allow.
#pragma once

#include "comserver/ComObject.h"
#include "comserver/DualDispatch.h"
#include "diag/PortInterfaces.h"
#include "diag/ReservedSlots.h"
#include "emulator/Handset.h"
#include "emulator/LogBook.h"
#include "platform/ComPtr.h"
#include "vornak-tools/VornakTools.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>

namespace VornakTools {

class CEmulatedPort final
    : public ComServer::ComObject<CEmulatedPort,
                                  ComServer::DualDispatch<IEmulatedPort, IID_IEmulatedPort>,
                                  IDiagPort, IPortIdentity, IServerPort, ISupportErrorInfo> {
public:
    static std::span<const ComServer::InterfaceEntry<CEmulatedPort>> interfaceTable();

    // IEmulatedPort
    HRESULT STDMETHODCALLTYPE Seed(BSTR hostDirectory, LONG* entries) override;
    HRESULT STDMETHODCALLTYPE get_SeedSkipped(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE Clear() override;
    HRESULT STDMETHODCALLTYPE MakeDirectory(BSTR path) override;
    HRESULT STDMETHODCALLTYPE PutText(BSTR path, BSTR text) override;
    HRESULT STDMETHODCALLTYPE PutBytes(BSTR path, VARIANT bytes) override;
    HRESULT STDMETHODCALLTYPE GetText(BSTR path, BSTR* text) override;
    HRESULT STDMETHODCALLTYPE GetBytes(BSTR path, VARIANT* bytes) override;
    HRESULT STDMETHODCALLTYPE Exists(BSTR path, VARIANT_BOOL* exists) override;
    HRESULT STDMETHODCALLTYPE InjectFault(BSTR kind, ULONG value, VARIANT command) override;
    HRESULT STDMETHODCALLTYPE ClearFaults() override;
    HRESULT STDMETHODCALLTYPE get_PendingFaults(LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE get_OpenDescriptors(LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE get_OpenDirectories(LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE RequestCount(VARIANT command, LONG* count) override;
    HRESULT STDMETHODCALLTYPE get_PortId(ULONG* pVal) override;
    HRESULT STDMETHODCALLTYPE put_PortId(ULONG newVal) override;
    HRESULT STDMETHODCALLTYPE get_LogCount(LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE LogLine(LONG index, BSTR* line) override;

    // IDiagPort and IServerPort, carried out by the Emulator::EmulatedPort;
    // the two share the unused slots 1 and 2.
    VORNAK_RESERVED_SLOTS_1_TO_7
    HRESULT STDMETHODCALLTYPE SendRequest(ULONG requestLength, const BYTE* request, ULONG constant1,
                                          ULONG constant0, ULONG timeout, USHORT* responseLength,
                                          BYTE* response) override;
    HRESULT STDMETHODCALLTYPE GetService(ULONG selector, ULONG constant0,
                                         IUnknown** service) override;
    HRESULT STDMETHODCALLTYPE GetLog(IUnknown** log) override;

    // IPortIdentity: the identifier PortId sets.
    HRESULT STDMETHODCALLTYPE GetPortId(ULONG* portId) override;

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

private:
    friend ComObject;
    explicit CEmulatedPort(IUnknown* outer);
    ~CEmulatedPort() override;

    std::shared_ptr<Emulator::Handset> handset_;
    std::shared_ptr<Emulator::LogBook> log_;
    Platform::ComPtr<IDiagPort> port_;
    Platform::ComPtr<IServerPort> serverPort_;
    std::atomic<ULONG> portId_;

    std::mutex mutex_; // guards what follows
    std::wstring seedSkipped_;
    LONG requestTotal_ = 0;
    std::map<std::uint16_t, LONG> requests_; // by command code
};

} // namespace VornakTools
