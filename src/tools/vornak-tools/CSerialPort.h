// The serial port as a creatable COM object (coclass SerialPort): the
// diagnostic port of a real handset on a USB cable, whose serial interface
// Windows shows as a COM port. A client opens it with ISerialPort::Open and
// hands it to Vornak's Connect methods; IDiagPort calls then go to a
// Transport::SerialPort on that line.
//
// Registered "Free", like the emulated port (CEmulatedPort.h says why):
// Vornak's free-threaded objects call IDiagPort directly in their apartment.
// One lock serialises Open, Close and SendRequest, so a line is never closed
// or replaced under a request in flight; Close waits for that request.
#pragma once

#include "comserver/ComObject.h"
#include "comserver/DualDispatch.h"
#include "diag/PortInterfaces.h"
#include "diag/ReservedSlots.h"
#include "platform/ComPtr.h"
#include "transport/SerialLine.h"
#include "transport/SerialPort.h"
#include "vornak-tools/VornakTools.h"

#include <mutex>
#include <span>

namespace VornakTools {

class CSerialPort final
    : public ComServer::ComObject<CSerialPort,
                                  ComServer::DualDispatch<ISerialPort, IID_ISerialPort>, IDiagPort,
                                  ISupportErrorInfo> {
public:
    static std::span<const ComServer::InterfaceEntry<CSerialPort>> interfaceTable();

    // ISerialPort
    HRESULT STDMETHODCALLTYPE Open(BSTR port) override;
    HRESULT STDMETHODCALLTYPE Close() override;
    HRESULT STDMETHODCALLTYPE get_IsOpen(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE get_Device(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE get_Baud(LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE get_BytesSent(double* pVal) override;
    HRESULT STDMETHODCALLTYPE get_BytesReceived(double* pVal) override;
    HRESULT STDMETHODCALLTYPE get_FramesDropped(double* pVal) override;
    HRESULT STDMETHODCALLTYPE get_BadFrames(double* pVal) override;

    // IDiagPort: refused with HRESULT_FROM_WIN32(ERROR_NOT_READY) until Open.
    VORNAK_RESERVED_SLOTS_1_TO_3
    HRESULT STDMETHODCALLTYPE SendRequest(ULONG requestLength, const BYTE* request, ULONG constant1,
                                          ULONG constant0, ULONG timeout, USHORT* responseLength,
                                          BYTE* response) override;

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

private:
    friend ComObject;
    explicit CSerialPort(IUnknown* outer);
    ~CSerialPort() override;

    using Counters = Transport::SerialPort::Counters;
    // The line's counters, or those it had when it was closed.
    HRESULT readCounter(double* out, std::uint64_t Counters::*counter);
    Counters countersLocked() const;
    void closeLocked();

    std::mutex mutex_;                 // guards what follows, and is held across SendRequest
    Platform::ComPtr<IDiagPort> line_; // a Transport::SerialPort; null while closed
    Transport::SerialSettings settings_;
    Counters closedCounters_;
};

} // namespace VornakTools
