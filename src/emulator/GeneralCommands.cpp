#include "emulator/GeneralCommands.h"

#include <algorithm>
#include <string_view>

namespace Emulator {

namespace General = Diag::General;

namespace {

// Log configuration operations.
enum LogOperation : std::uint32_t {
    kLogDisable = 0,
    kLogRanges = 1,
    kLogSetMask = 3,
    kLogGetMask = 4,
};
constexpr std::size_t kLogHeaderSize = 8; // code, three reserved bytes, operation
constexpr std::uint32_t kLogSuccess = 0;
constexpr std::uint32_t kLogUnknownEquipment = 1;

// Extended message configuration operations.
enum MessageOperation : std::uint8_t {
    kMessageRanges = 1,
    kMessageSetRange = 4,
    kMessageSetAll = 5,
};
constexpr std::uint8_t kMessageSuccess = 1;

// Fixed-width ASCII: `text` and as many spaces as the field has room for.
void ascii(Reply& reply, std::string_view text, std::size_t width)
{
    reply.bytes({reinterpret_cast<const std::uint8_t*>(text.data()), std::min(text.size(), width)});
    for (std::size_t i = text.size(); i < width; ++i) {
        reply.u8(' ');
    }
}

} // namespace

void GeneralCommands::answer(const Request& request, Reply& reply)
{
    if (request.size() == 0) {
        reply.refusal(General::BadLength, request.bytes());
        return;
    }
    switch (request.field8(0)) {
    case General::Version:
        version(request, reply);
        break;
    case General::BuildId:
        buildId(request, reply);
        break;
    case General::LogConfig:
        logConfig(request, reply);
        break;
    case General::MessageConfig:
        messageConfig(request, reply);
        break;
    case General::NvRead:
    case General::NvWrite:
        nvItem(request, reply);
        break;
    case General::ServiceCode:
        accept(request, 7, reply); // the code and six digits
        break;
    case General::Password:
        accept(request, 9, reply); // the code and eight bytes
        break;
    default:
        reply.refusal(General::BadCommand, request.bytes());
        break;
    }
}

// 55 bytes: dates and times of the build and release, the model, and
// revisions that this handset leaves at zero but its firmware's.
void GeneralCommands::version(const Request& request, Reply& reply)
{
    if (request.size() != 1) {
        reply.refusal(General::BadLength, request.bytes());
        return;
    }
    reply.u8(General::Version);
    ascii(reply, "Jan 01 2024", 11);
    ascii(reply, "00:00:00", 8);
    ascii(reply, "Jan 01 2024", 11);
    ascii(reply, "00:00:00", 8);
    ascii(reply, kModel, 8);
    reply.u8(0).u8(0).u8(0); // station class mark, CAI revision, mobile model
    reply.u16(1);            // firmware revision
    reply.u8(0).u8(0).u8(0); // slot cycle index, chip version, reserved
}

void GeneralCommands::buildId(const Request& request, Reply& reply)
{
    if (request.size() != 1) {
        reply.refusal(General::BadLength, request.bytes());
        return;
    }
    reply.u8(General::BuildId).u8(0).u16(0); // version, reserved
    reply.u32(0).u32(0);                     // chip hardware version, mobile model id
    reply.text(kBuildId).text(kModelName);
}

void GeneralCommands::logConfig(const Request& request, Reply& reply)
{
    if (request.size() < kLogHeaderSize) {
        reply.refusal(General::BadLength, request.bytes());
        return;
    }
    const std::uint32_t operation = request.field32(4);
    std::size_t size = kLogHeaderSize;
    if (operation == kLogSetMask && request.size() >= 16) {
        // The mask has a bit per item: the count rounded up to bytes.
        size = 16 + static_cast<std::size_t>((std::uint64_t{request.field32(12)} + 7) / 8);
    } else if (operation == kLogSetMask || operation == kLogGetMask) {
        size = operation == kLogSetMask ? 16 : 12;
    } else if (operation != kLogDisable && operation != kLogRanges) {
        reply.refusal(General::BadParameters, request.bytes());
        return;
    }
    if (request.size() != size) {
        reply.refusal(General::BadLength, request.bytes());
        return;
    }
    reply.bytes(request.first(kLogHeaderSize));
    if (operation == kLogDisable) {
        reply.u32(kLogSuccess);
    } else if (operation == kLogRanges) {
        reply.u32(kLogSuccess).zeros(4 * kEquipmentIds); // no items for any equipment
    } else {
        // A mask of no items: the handset lowers the count to what it has.
        const std::uint32_t equipment = request.field32(8);
        reply.u32(equipment < kEquipmentIds ? kLogSuccess : kLogUnknownEquipment)
            .u32(equipment)
            .u32(0);
    }
}

void GeneralCommands::messageConfig(const Request& request, Reply& reply)
{
    if (request.size() < 2) {
        reply.refusal(General::BadLength, request.bytes());
        return;
    }
    switch (request.field8(1)) {
    case kMessageRanges:
        if (request.size() != 2) {
            reply.refusal(General::BadLength, request.bytes());
            return;
        }
        reply.u8(General::MessageConfig).u8(kMessageRanges).u8(kMessageSuccess).u8(0).u32(0);
        return;
    case kMessageSetRange: {
        // First and last message id, a reserved word, a mask per id.
        if (request.size() < 8) {
            reply.refusal(General::BadLength, request.bytes());
            return;
        }
        const std::uint16_t first = request.field16(2);
        const std::uint16_t last = request.field16(4);
        if (last < first) {
            reply.refusal(General::BadParameters, request.bytes());
            return;
        }
        if (request.size() != 8 + 4 * (std::size_t{last} - first + 1)) {
            reply.refusal(General::BadLength, request.bytes());
            return;
        }
        reply.bytes(request.first(6)).u8(kMessageSuccess).bytes(request.tail(7));
        return;
    }
    case kMessageSetAll:
        // A reserved byte and the mask; some clients pad the request by one.
        if (request.size() != 7 && request.size() != 8) {
            reply.refusal(General::BadLength, request.bytes());
            return;
        }
        reply.u8(General::MessageConfig)
            .u8(kMessageSetAll)
            .u8(kMessageSuccess)
            .u8(request.field8(2))
            .u32(request.field32(3));
        return;
    default:
        reply.refusal(General::BadParameters, request.bytes());
        return;
    }
}

// Code, item number, 128 bytes of data, status; the answer has the same layout.
void GeneralCommands::nvItem(const Request& request, Reply& reply)
{
    if (request.size() != General::kNvPacketSize) {
        reply.refusal(General::BadLength, request.bytes());
        return;
    }
    constexpr std::size_t kDataOffset = 3;
    const std::uint16_t item = request.field16(1);
    const auto data = request.tail(kDataOffset).first(General::kNvDataSize);
    reply.u8(request.field8(0)).u16(item);
    if (request.field8(0) == General::NvWrite) {
        std::copy(data.begin(), data.end(), nvItems_[item].begin());
        reply.bytes(data).u16(General::NvDone);
        return;
    }
    const auto found = nvItems_.find(item);
    if (found == nvItems_.end()) {
        reply.bytes(data).u16(General::NvNotActive);
    } else {
        reply.bytes(found->second).u16(General::NvDone);
    }
}

// A request of `size` bytes answered with itself and "accepted".
void GeneralCommands::accept(const Request& request, std::size_t size, Reply& reply)
{
    if (request.size() != size) {
        reply.refusal(General::BadLength, request.bytes());
        return;
    }
    reply.bytes(request.bytes()).u8(1);
}

} // namespace Emulator
