// The emulated port as a creatable COM object (coclass EmulatedPort): one
// emulated handset behind the diagnostic port interfaces, which it hands to
// an Emulator::EmulatedPort, and IEmulatedPort for the scripts and tests that
// build the handset's content and script its faults.
//
// Registered "Both" and aggregating the free-threaded marshaler: a script's
// single-threaded apartment creates the port in its own apartment and hands
// it to Vornak's free-threaded objects, which live in the multithreaded
// apartment. Marshaled normally, the port would reach them as a proxy that
// knows only what the type library describes, and IDiagPort, a custom
// interface, would have no proxy to travel through. With the free-threaded
// marshaler they get the object itself; every method may then run on any
// thread, which the handset's lock and this object's own lock allow.
#pragma once

#include "diag/PortInterfaces.h"
#include "diag/ReservedSlots.h"
#include "emulated-port/VornakEmulator.h"
#include "emulator/Handset.h"
#include "emulator/LogBook.h"
#include "platform/ComPtr.h"
#include "tools/emulated-port/TypeLibrary.h"
#include "vornak/ComObject.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>

namespace VornakEmulator {

class CEmulatedPort final
    : public Vornak::ComObject<CEmulatedPort, Dispatch<IEmulatedPort, IID_IEmulatedPort>, IDiagPort,
                               IPortIdentity, IServerPort, ISupportErrorInfo> {
public:
    static std::span<const Vornak::InterfaceEntry<CEmulatedPort>> interfaceTable();
    // IMarshal, from the aggregated free-threaded marshaler.
    HRESULT queryAggregate(REFIID iid, void** out);

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
    VORNAK_RESERVED_SLOT(1)
    VORNAK_RESERVED_SLOT(2)
    VORNAK_RESERVED_SLOT(3)
    VORNAK_RESERVED_SLOT(4)
    VORNAK_RESERVED_SLOT(5)
    VORNAK_RESERVED_SLOT(6)
    VORNAK_RESERVED_SLOT(7)
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
    // The inner IUnknown of the free-threaded marshaler.
    Platform::ComPtr<IUnknown> marshaler_;
    std::atomic<ULONG> portId_;

    std::mutex mutex_; // guards what follows
    std::wstring seedSkipped_;
    LONG requestTotal_ = 0;
    std::map<std::uint16_t, LONG> requests_; // by command code
};

} // namespace VornakEmulator
