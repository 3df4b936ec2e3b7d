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
// It is also the port as the port server knows it: IPortIdentity names it,
// and IServerPort hands out the item service of the same handset (selectors
// 18 and 19) and the port's log, where the device files write why they ask
// again.
//
// A line (Line.h) makes it as slow as a handset on a cable, for timing.
#pragma once

#include "comserver/ComObject.h"
#include "diag/PortInterfaces.h"
#include "diag/ReservedSlots.h"
#include "emulator/Handset.h"
#include "emulator/Line.h"
#include "emulator/LogBook.h"
#include "platform/Com.h"
#include "platform/ComPtr.h"

#include <memory>
#include <span>

namespace Emulator {

class EmulatedPort final
    : public ComServer::ComObject<EmulatedPort, IDiagPort, IPortIdentity, IServerPort> {
public:
    // HRESULT_FROM_WIN32(ERROR_TIMEOUT): the handset did not answer in time.
    static constexpr HRESULT kTimedOut = static_cast<HRESULT>(0x800705B4u);
    // HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER): the response did not fit.
    static constexpr HRESULT kResponseTooLarge = static_cast<HRESULT>(0x8007007Au);

    // The services GetService offers: the item services of the file
    // subsystem and of the others, both over the same handset.
    static constexpr ULONG kFileItemService = 18;
    static constexpr ULONG kOtherItemService = 19;
    static constexpr std::uint32_t kDefaultPortId = 1;

    // A new port to `handset`, holding one reference for the caller. Lines
    // for the port's log go to `log` (a new book when none is given).
    static Platform::ComPtr<IDiagPort> create(std::shared_ptr<Handset> handset,
                                              std::uint32_t portId = kDefaultPortId,
                                              std::shared_ptr<LogBook> log = nullptr);
    // A new port to `handset` whose answers take the time `line` gives them,
    // as over a cable: the round trip and the framed bytes at its rate.
    static Platform::ComPtr<IDiagPort> create(std::shared_ptr<Handset> handset,
                                              std::shared_ptr<Line> line);

    static std::span<const ComServer::InterfaceEntry<EmulatedPort>> interfaceTable();

    // IDiagPort (IServerPort shares its first two unused slots).
    VORNAK_RESERVED_SLOTS_1_TO_3
    // Carries one request to the handset and brings back its response.
    HRESULT STDMETHODCALLTYPE SendRequest(ULONG requestLength, const BYTE* request, ULONG constant1,
                                          ULONG constant0, ULONG timeout, USHORT* responseLength,
                                          BYTE* response) override;

    // IPortIdentity
    HRESULT STDMETHODCALLTYPE GetPortId(ULONG* portId) override;

    // IServerPort
    HRESULT STDMETHODCALLTYPE GetService(ULONG selector, ULONG constant0,
                                         IUnknown** service) override;
    VORNAK_RESERVED_SLOT(4)
    VORNAK_RESERVED_SLOT(5)
    VORNAK_RESERVED_SLOT(6)
    VORNAK_RESERVED_SLOT(7)
    HRESULT STDMETHODCALLTYPE GetLog(IUnknown** log) override;

private:
    friend ComObject;
    EmulatedPort(std::shared_ptr<Handset> handset, std::uint32_t portId,
                 std::shared_ptr<LogBook> log, std::shared_ptr<Line> line);

    std::shared_ptr<Handset> handset_;
    std::uint32_t portId_;
    std::shared_ptr<LogBook> log_;
    std::shared_ptr<Line> line_; // null: answers take no time
};

} // namespace Emulator
