// A diagnostic port for tests that passes every request on to another port
// and remembers what went through: the command of each request, and the
// counts, offsets and sequence numbers that tests check. It also passes on
// the inner port's identity and server-port interfaces, so the device files'
// log reaches the inner port's log.
#pragma once

#include "diag/PortInterfaces.h"
#include "diag/ReservedSlots.h"
#include "platform/ComBase.h"
#include "platform/ComPtr.h"

#include <cstdint>
#include <mutex>
#include <vector>

namespace TestSupport {

class RecordingPort final : public Platform::ComBase<RecordingPort, IDiagPort> {
public:
    struct Request {
        std::uint16_t command;
        std::vector<std::uint8_t> bytes;

        // A 32-bit field of the request, at a byte offset.
        std::uint32_t field(std::size_t offset) const;
    };

    static Platform::ComPtr<RecordingPort> create(IDiagPort* inner);

    std::vector<Request> requests() const;
    // The commands of the requests so far, in order.
    std::vector<std::uint16_t> commands() const;
    void clear();

    void* interfaceFor(REFIID iid);
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;

    VORNAK_RESERVED_SLOT(1)
    VORNAK_RESERVED_SLOT(2)
    VORNAK_RESERVED_SLOT(3)
    HRESULT STDMETHODCALLTYPE SendRequest(ULONG requestLength, const BYTE* request, ULONG constant1,
                                          ULONG constant0, ULONG timeout, USHORT* responseLength,
                                          BYTE* response) override;

private:
    explicit RecordingPort(IDiagPort* inner);

    Platform::ComPtr<IDiagPort> inner_;
    mutable std::mutex mutex_;
    std::vector<Request> requests_;
};

} // namespace TestSupport
