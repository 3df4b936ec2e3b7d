#include "emulator/EmulatedPort.h"

#include "emulator/ItemService.h"
#include "emulator/LogSink.h"
#include "transport/Hdlc.h"

#include <chrono>
#include <new>
#include <stdexcept>
#include <thread>

namespace Emulator {

namespace {

void sleepFor(ULONG milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace

Platform::ComPtr<IDiagPort> EmulatedPort::create(std::shared_ptr<Handset> handset,
                                                 std::uint32_t portId, std::shared_ptr<LogBook> log)
{
    if (!log) {
        log = std::make_shared<LogBook>();
    }
    return make<IDiagPort>(std::move(handset), portId, std::move(log), nullptr);
}

Platform::ComPtr<IDiagPort> EmulatedPort::create(std::shared_ptr<Handset> handset,
                                                 std::shared_ptr<Line> line)
{
    return make<IDiagPort>(std::move(handset), kDefaultPortId, std::make_shared<LogBook>(),
                           std::move(line));
}

EmulatedPort::EmulatedPort(std::shared_ptr<Handset> handset, std::uint32_t portId,
                           std::shared_ptr<LogBook> log, std::shared_ptr<Line> line)
    : handset_(std::move(handset))
    , portId_(portId)
    , log_(std::move(log))
    , line_(std::move(line))
{}

std::span<const ComServer::InterfaceEntry<EmulatedPort>> EmulatedPort::interfaceTable()
{
    static constexpr ComServer::InterfaceEntry<EmulatedPort> table[] = {
        ComServer::interfaceEntry<EmulatedPort, IDiagPort>(IID_IDiagPort),
        ComServer::interfaceEntry<EmulatedPort, IPortIdentity>(IID_IPortIdentity),
        ComServer::interfaceEntry<EmulatedPort, IServerPort>(IID_IServerPort),
    };
    return table;
}

HRESULT EmulatedPort::GetPortId(ULONG* portId)
{
    if (portId == nullptr) {
        return E_POINTER;
    }
    *portId = portId_;
    return S_OK;
}

HRESULT EmulatedPort::GetService(ULONG selector, ULONG, IUnknown** service)
{
    if (service == nullptr) {
        return E_POINTER;
    }
    *service = nullptr;
    if (selector != kFileItemService && selector != kOtherItemService) {
        return E_INVALIDARG;
    }
    try {
        *service = ItemService::create(handset_).detach();
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT EmulatedPort::GetLog(IUnknown** log)
{
    if (log == nullptr) {
        return E_POINTER;
    }
    *log = nullptr;
    try {
        *log = LogSink::create(log_).detach();
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT EmulatedPort::SendRequest(ULONG requestLength, const BYTE* request, ULONG /*constant1*/,
                                  ULONG /*constant0*/, ULONG timeout, USHORT* responseLength,
                                  BYTE* response)
{
    if (responseLength == nullptr) {
        return E_POINTER;
    }
    const USHORT capacity = *responseLength;
    *responseLength = 0;
    if ((request == nullptr && requestLength != 0) || (response == nullptr && capacity != 0)) {
        return E_POINTER;
    }
    const Line::Clock::time_point sent = Line::Clock::now();
    Exchange exchange;
    try {
        exchange = handset_->exchange(std::span<const std::uint8_t>(request, requestLength),
                                      std::span<std::uint8_t>(response, capacity));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (exchange.portFault) {
        switch (exchange.portFault->kind) {
        case Fault::Kind::Latency:
            sleepFor(exchange.portFault->value);
            break;
        case Fault::Kind::PortFailure:
            return static_cast<HRESULT>(exchange.portFault->value);
        case Fault::Kind::Exception:
            throw std::runtime_error("the emulated port failed");
        case Fault::Kind::NoAnswer:
            sleepFor(timeout);
            return kTimedOut;
        default:
            break;
        }
    }
    if (line_) {
        // The answer's bytes are in the caller's buffer only when they fit.
        const std::size_t answered = exchange.length <= capacity ? exchange.length : 0;
        line_->carry(Transport::Hdlc::frameLength(request, requestLength) +
                         Transport::Hdlc::frameLength(response, answered),
                     sent);
    }
    if (exchange.length > capacity) {
        return kResponseTooLarge;
    }
    *responseLength = static_cast<USHORT>(exchange.length);
    return S_OK;
}

} // namespace Emulator
