#include "PortServerObject.h"

#include "comserver/ErrorInfo.h"
#include "emulator/EmulatedPort.h"
#include "emulator/ItemService.h"
#include "platform/Bstr.h"
#include "platform/ComError.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>
#include <vector>

namespace PortServerProgram {

namespace {

std::optional<Emulator::Fault> faultOf(PortFaultKind kind, ULONG value)
{
    using Emulator::Fault;
    switch (kind) {
    case PortFaultStaleOffset:
        return Fault::staleOffset(value);
    case PortFaultForeignDescriptor:
        return Fault::foreignDescriptor(value);
    case PortFaultTruncatedResponse:
        return Fault::truncatedResponse(value);
    case PortFaultOversizedResponse:
        return Fault::oversizedResponse(value);
    case PortFaultErrorResponse:
        return Fault::errorResponse(value);
    case PortFaultPortFailure:
        return Fault::portFailure(static_cast<HRESULT>(value));
    case PortFaultNoAnswer:
        return Fault::noAnswer();
    case PortFaultLatency:
        return Fault::latency(value);
    }
    return std::nullopt;
}

// What the emulator throws for what a client asked of it.
std::optional<HRESULT> reportHandsetRefusal(const ComServer::Boundary& boundary) noexcept
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    } catch (const std::length_error&) {
        return ComServer::reportError(*boundary.clsid, nullptr, 0, *boundary.iid,
                                      HRESULT_FROM_WIN32(ERROR_DISK_FULL));
    } catch (const std::exception&) {
        return ComServer::reportError(*boundary.clsid, nullptr, 0, *boundary.iid, E_INVALIDARG);
    } catch (...) {
        return std::nullopt;
    }
}

HRESULT putCount(ULONG* target, std::size_t count)
{
    if (target == nullptr) {
        return E_POINTER;
    }
    *target = static_cast<ULONG>(count);
    return S_OK;
}

} // namespace

Platform::ComPtr<IPortServer> PortServerObject::create(std::shared_ptr<ServedHandset> served)
{
    auto server = Emulator::PortServer::create();
    const auto port = Emulator::EmulatedPort::create(ServedHandset::sharedHandset(served), kPortId,
                                                     ServedHandset::sharedLog(served));
    Platform::throwIfFailed(server->addPort(port.get()));
    return make<IPortServer>(std::move(served), std::move(server));
}

ComServer::Boundary PortServerObject::boundary(REFIID iid)
{
    return {&CLSID_PortServer, &iid, E_UNEXPECTED, E_OUTOFMEMORY, &reportHandsetRefusal};
}

PortServerObject::PortServerObject(std::shared_ptr<ServedHandset> served,
                                   Platform::ComPtr<Emulator::PortServer> server)
    : served_(std::move(served))
    , server_(std::move(server))
{}

std::span<const ComServer::InterfaceEntry<PortServerObject>> PortServerObject::interfaceTable()
{
    static constexpr ComServer::InterfaceEntry<PortServerObject> table[] = {
        ComServer::interfaceEntry<PortServerObject, IPortServer>(IID_IPortServer),
        ComServer::interfaceEntry<PortServerObject, IPortServerControl>(IID_IPortServerControl),
    };
    return table;
}

HRESULT PortServerObject::GetPortDirectory(IPortDirectory** directory)
{
    return server_->GetPortDirectory(directory);
}

HRESULT PortServerObject::PutFile(BSTR path, ULONG count, const BYTE* data)
{
    if (data == nullptr && count != 0) {
        return E_POINTER;
    }
    return ComServer::guard(boundary(IID_IPortServerControl), [&] {
        served_->handset().edit([&](Emulator::FileSystem& fileSystem) {
            fileSystem.addFile(Platform::toU16String(path), {data, count});
        });
        return S_OK;
    });
}

HRESULT PortServerObject::ReadFile(BSTR path, ULONG* count, BYTE* data)
{
    if (count == nullptr || (data == nullptr && *count != 0)) {
        return E_POINTER;
    }
    return ComServer::guard(boundary(IID_IPortServerControl), [&] {
        std::vector<std::uint8_t> bytes;
        const HRESULT hr = Emulator::resultFromDeviceError(
            served_->handset().readFile(Platform::toU16String(path), bytes));
        const std::size_t delivered =
            SUCCEEDED(hr) ? std::min<std::size_t>(*count, bytes.size()) : 0;
        if (delivered != 0) {
            std::memcpy(data, bytes.data(), delivered);
        }
        *count = static_cast<ULONG>(delivered);
        return hr;
    });
}

HRESULT PortServerObject::QueueFault(PortFaultKind kind, ULONG value, LONG command)
{
    std::optional<Emulator::Fault> fault = faultOf(kind, value);
    if (!fault || command < PortFaultAnyCommand || command > 0xFFFF) {
        return E_INVALIDARG;
    }
    if (command != PortFaultAnyCommand) {
        fault = fault->on(static_cast<std::uint16_t>(command));
    }
    return ComServer::guard(boundary(IID_IPortServerControl), [&] {
        served_->handset().queueFault(*fault);
        return S_OK;
    });
}

HRESULT PortServerObject::ClearFaults()
{
    served_->handset().clearFaults();
    return S_OK;
}

HRESULT PortServerObject::GetPendingFaults(ULONG* count)
{
    return putCount(count, served_->handset().pendingFaults());
}

HRESULT PortServerObject::GetOpenDescriptors(ULONG* count)
{
    return putCount(count, served_->handset().openDescriptors());
}

HRESULT PortServerObject::GetLogLineCount(ULONG* count)
{
    return ComServer::guard(boundary(IID_IPortServerControl),
                            [&] { return putCount(count, served_->log().lines().size()); });
}

HRESULT PortServerObject::GetLogLine(ULONG index, BSTR* line)
{
    if (line == nullptr) {
        return E_POINTER;
    }
    *line = nullptr;
    return ComServer::guard(boundary(IID_IPortServerControl), [&] {
        const std::vector<std::u16string> lines = served_->log().lines();
        if (index >= lines.size()) {
            return E_INVALIDARG;
        }
        *line = Platform::Bstr(lines[index]).detach();
        return S_OK;
    });
}

HRESULT PortServerObject::GetServerProcessId(ULONG* processId)
{
    return putCount(processId, GetCurrentProcessId());
}

} // namespace PortServerProgram
