// Arbitrary requests to the emulated handset through its port, several per
// input so that a descriptor one request opens is used by the next. An input
// is a run of records: the capacity (16 bits), the request length (16 bits),
// then the request. The port must never write past the capacity, and what it
// delivers is a refusal (bad command, parameters or length, then the request
// echoed) or an answer: to an EFS2 request one with the request's header and
// a length a client accepts for its command, to any other one an answer that
// starts with the request's code. Never the EFS2 error packet: that is a
// fault's.
#include "diag/Efs2.h"
#include "diag/General.h"
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
    fileSystem.addLink(u"/d/up", u"../a");
    fileSystem.addLink(u"/loop", u"loop");
    fileSystem.addItem(u"/d/item", std::vector<std::uint8_t>{1, 2, 3});
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
    case Efs2::FStat:
    case Efs2::Stat:
        return length == (command == Efs2::Write ? 20 : 32);
    case Efs2::ReadDir:
        return length >= 41 && length <= 41 + Efs2::kMaxPath;
    case Efs2::LStat:
        return length == 24;
    case Efs2::ReadLink:
        return length >= 9 && length <= 9 + Efs2::kMaxPath;
    case Efs2::StatFs:
        return length == 48;
    case Efs2::DevInfo:
        return length >= 34 && length <= 289;
    case Efs2::DelTree:
    case Efs2::Put:
    case Efs2::Truncate:
    case Efs2::FTruncate:
        return length == 10;
    case Efs2::Md5Sum:
        return length == 26;
    case Efs2::Get: // without or with a sequence number
        return length >= 12 && length <= 14 + Efs2::kMaxItemData;
    default:
        return length == 8;
    }
}

bool isRefusal(const std::vector<std::uint8_t>& request, const std::uint8_t* response,
               std::size_t length)
{
    const std::size_t echoed = std::min(request.size(), Emulator::Handset::kMaxRequest);
    return length == echoed + 1 && Diag::General::isRefusal(response[0]) &&
           std::equal(request.begin(), request.begin() + static_cast<std::ptrdiff_t>(echoed),
                      response + 1);
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
        if (received > capacity || received == 0) {
            std::abort();
        }
        if (isRefusal(request, response.data(), received)) {
            continue;
        }
        const bool efs2 =
            length >= Efs2::kHeaderSize && request[0] == Efs2::kSubsystemDispatch &&
            (request[1] == Efs2::kFileSubsystem || request[1] == Efs2::kAlternateFileSubsystem);
        const bool answered =
            efs2
                ? received >= Efs2::kHeaderSize &&
                      std::equal(request.begin(), request.begin() + 4, response.begin()) &&
                      acceptedLength(read16(request.data() + 2), received)
                : length > 0 && response[0] == request[0] && request[0] != Efs2::kSubsystemDispatch;
        if (!answered) {
            std::abort();
        }
    }
    return 0;
}
