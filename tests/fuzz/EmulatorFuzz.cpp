// Arbitrary requests to the emulated handset through its port, several per
// input so that a descriptor one request opens is used by the next. An input
// is a run of records: the capacity (16 bits), the request length (16 bits),
// then the request. The port must never write past the capacity, and what it
// delivers is either a response of the length the client accepts for the
// request's command, with the request's header, or the 8-byte error response.
#include "diag/Efs2.h"
#include "diag/LittleEndian.h"
#include "emulator/EmulatedPort.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace Efs2 = Diag::Efs2;
using Diag::LittleEndian::read16;

constexpr std::uint32_t kMaxTransfer = 2048;

Emulator::FileSystem smallTree()
{
    Emulator::Limits limits;
    limits.maxFileSize = 1u << 16;
    limits.capacity = 1u << 18;
    limits.maxOpenFiles = 4;
    limits.maxOpenDirectories = 2;
    limits.maxTransfer = kMaxTransfer;
    Emulator::FileSystem fileSystem(limits, [] { return 1u; });
    fileSystem.addFile(u"/a", std::vector<std::uint8_t>(600, 'a'));
    fileSystem.addFile(u"/d/b", std::vector<std::uint8_t>{'x', 'y', 'z'}, 0444);
    fileSystem.addDirectory(u"/d/e");
    fileSystem.addFile(u"/\u263A", {});
    return fileSystem;
}

// Whether the client would take `length` bytes as a response to `command`.
bool acceptedLength(std::uint16_t command, std::size_t length)
{
    switch (command) {
    case Efs2::Hello:
        return length == 44;
    case Efs2::Query:
        return length == 28;
    case Efs2::Open:
    case Efs2::OpenDir:
        return length == 12;
    case Efs2::Read:
        return length >= 20 && length <= 20 + kMaxTransfer;
    case Efs2::Write:
        return length == 20;
    case Efs2::ReadDir:
        return length >= 41 && length <= 41 + Efs2::kMaxPath;
    case Efs2::LStat:
        return length == 24;
    case Efs2::FStat:
        return length == 32;
    default:
        return length == 8;
    }
}

bool isErrorResponse(const std::uint8_t* response, std::size_t length)
{
    return length == Efs2::kErrorResponseSize && response[0] == Efs2::kSubsystemDispatch &&
           (response[1] == Efs2::kFileSubsystem || response[1] == Efs2::kAlternateFileSubsystem) &&
           read16(response + 2) == Efs2::ErrorResponse;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto handset = std::make_shared<Emulator::Handset>(smallTree());
    const auto port = Emulator::EmulatedPort::create(handset);
    std::size_t at = 0;
    while (size - at >= 4) {
        const USHORT capacity = read16(data + at);
        const std::size_t length = std::min<std::size_t>(read16(data + at + 2), size - at - 4);
        // Copies of exactly the sizes given, so that a step past either shows.
        const std::vector<std::uint8_t> request(data + at + 4, data + at + 4 + length);
        std::vector<std::uint8_t> response(capacity);
        at += 4 + length;

        USHORT received = capacity;
        const HRESULT hr = port->SendRequest(static_cast<ULONG>(length), request.data(), 1, 0, 0,
                                             &received, response.data());
        if (FAILED(hr)) {
            if (hr != Emulator::EmulatedPort::kResponseTooLarge || received != 0) {
                std::abort();
            }
            continue;
        }
        if (received > capacity || received < Efs2::kHeaderSize) {
            std::abort();
        }
        const bool normal = length >= Efs2::kHeaderSize &&
                            std::equal(request.begin(), request.begin() + 4, response.begin());
        if (normal ? !acceptedLength(read16(request.data() + 2), received)
                   : !isErrorResponse(response.data(), received)) {
            std::abort();
        }
    }
    return 0;
}
