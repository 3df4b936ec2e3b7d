#include "emulator/EmulatedPort.h"

#include <chrono>
#include <cstring>
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

Platform::ComPtr<IDiagPort> EmulatedPort::create(std::shared_ptr<Handset> handset)
{
    return Platform::ComPtr<IDiagPort>::attach(new EmulatedPort(std::move(handset)));
}

EmulatedPort::EmulatedPort(std::shared_ptr<Handset> handset)
    : handset_(std::move(handset))
{}

EmulatedPort::~EmulatedPort() = default;

HRESULT STDMETHODCALLTYPE EmulatedPort::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDiagPort)) {
        *object = static_cast<IDiagPort*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE EmulatedPort::AddRef()
{
    return ++references_;
}

ULONG STDMETHODCALLTYPE EmulatedPort::Release()
{
    const ULONG left = --references_;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT STDMETHODCALLTYPE EmulatedPort::Reserved1()
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE EmulatedPort::Reserved2()
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE EmulatedPort::Reserved3()
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE EmulatedPort::SendRequest(ULONG requestLength, const BYTE* request,
                                                    ULONG /*constant1*/, ULONG /*constant0*/,
                                                    ULONG timeout, USHORT* responseLength,
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
    Exchange exchange;
    try {
        exchange = handset_->exchange(std::span<const std::uint8_t>(request, requestLength));
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
    if (exchange.response.size() > capacity) {
        return kResponseTooLarge;
    }
    if (!exchange.response.empty()) {
        std::memcpy(response, exchange.response.data(), exchange.response.size());
    }
    *responseLength = static_cast<USHORT>(exchange.response.size());
    return S_OK;
}

} // namespace Emulator
