#include "support/RecordingPort.h"

#include "diag/LittleEndian.h"

namespace TestSupport {

std::uint32_t RecordingPort::Request::field(std::size_t offset) const
{
    return offset + 4 <= bytes.size() ? Diag::LittleEndian::read32(&bytes[offset]) : 0xDEADBEEF;
}

Platform::ComPtr<RecordingPort> RecordingPort::create(IDiagPort* inner)
{
    return Platform::ComPtr<RecordingPort>::attach(new RecordingPort(inner));
}

RecordingPort::RecordingPort(IDiagPort* inner)
    : inner_(inner)
{}

void* RecordingPort::interfaceFor(REFIID iid)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDiagPort)) {
        return static_cast<IDiagPort*>(this);
    }
    return nullptr;
}

HRESULT RecordingPort::QueryInterface(REFIID iid, void** object)
{
    // The inner port's other faces, for the log and item files: a test double
    // may bend the identity rule this far.
    if (object != nullptr &&
        (IsEqualIID(iid, IID_IServerPort) || IsEqualIID(iid, IID_IPortIdentity))) {
        return inner_->QueryInterface(iid, object);
    }
    return ComBase::QueryInterface(iid, object);
}

std::vector<RecordingPort::Request> RecordingPort::requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<std::uint16_t> RecordingPort::commands() const
{
    std::vector<std::uint16_t> result;
    for (const Request& request : requests()) {
        result.push_back(request.command);
    }
    return result;
}

void RecordingPort::clear()
{
    std::lock_guard lock(mutex_);
    requests_.clear();
}

HRESULT RecordingPort::SendRequest(ULONG requestLength, const BYTE* request, ULONG constant1,
                                   ULONG constant0, ULONG timeout, USHORT* responseLength,
                                   BYTE* response)
{
    if (request != nullptr && requestLength >= 4) {
        std::lock_guard lock(mutex_);
        requests_.push_back({Diag::LittleEndian::read16(request + 2),
                             std::vector<std::uint8_t>(request, request + requestLength)});
    }
    return inner_->SendRequest(requestLength, request, constant1, constant0, timeout,
                               responseLength, response);
}

} // namespace TestSupport
