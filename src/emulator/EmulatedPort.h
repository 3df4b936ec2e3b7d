// The emulated handset behind the diagnostic port interface: a real COM
// object, so that every layer above uses it as it would a port to a device.
//
// SendRequest hands the request to the handset and copies the response into
// the caller's buffer, never more bytes than the capacity the caller gives.
// A response that would not fit is lost, as on a port whose buffer is too
// small: SendRequest fails with kResponseTooLarge and leaves the buffer
// untouched, and the handset has carried out the request all the same. After
// any failure the response length is 0. The two constant arguments are not
// read; the timeout (milliseconds) matters only to a port that stops
// answering.
//
// The object answers IUnknown and IDiagPort; the port server's interfaces
// (IPortIdentity, IServerPort, ILogSink) are further rows of QueryInterface's
// table when they come.
#pragma once

#include "diag/PortInterfaces.h"
#include "emulator/Handset.h"
#include "platform/Com.h"
#include "platform/ComPtr.h"

#include <atomic>
#include <memory>

namespace Emulator {

class EmulatedPort final : public IDiagPort {
public:
    // HRESULT_FROM_WIN32(ERROR_TIMEOUT): the handset did not answer in time.
    static constexpr HRESULT kTimedOut = static_cast<HRESULT>(0x800705B4u);
    // HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER): the response did not fit.
    static constexpr HRESULT kResponseTooLarge = static_cast<HRESULT>(0x8007007Au);

    // A new port to `handset`, holding one reference for the caller.
    static Platform::ComPtr<IDiagPort> create(std::shared_ptr<Handset> handset);

    EmulatedPort(const EmulatedPort&) = delete;
    EmulatedPort& operator=(const EmulatedPort&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE Reserved1() override;
    HRESULT STDMETHODCALLTYPE Reserved2() override;
    HRESULT STDMETHODCALLTYPE Reserved3() override;
    // Carries one request to the handset and brings back its response.
    HRESULT STDMETHODCALLTYPE SendRequest(ULONG requestLength, const BYTE* request, ULONG constant1,
                                          ULONG constant0, ULONG timeout, USHORT* responseLength,
                                          BYTE* response) override;

private:
    explicit EmulatedPort(std::shared_ptr<Handset> handset);
    ~EmulatedPort();

    std::atomic<ULONG> references_{1};
    std::shared_ptr<Handset> handset_;
};

} // namespace Emulator
