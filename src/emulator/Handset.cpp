#include "emulator/Handset.h"

#include "diag/Efs2.h"
#include "diag/General.h"
#include "diag/LittleEndian.h"
#include "lang/Transcode.h"

#include <algorithm>
#include <stdexcept>

namespace Emulator {

namespace Efs2 = Diag::Efs2;
using Diag::LittleEndian::read16;
using Diag::LittleEndian::read32;
using Diag::LittleEndian::write16;
using Diag::LittleEndian::write32;

namespace {

// Room for what faults add to the longest response.
constexpr std::size_t kFaultRoom = 256;

bool isFileSubsystem(std::uint8_t subsystem)
{
    return subsystem == Efs2::kFileSubsystem || subsystem == Efs2::kAlternateFileSubsystem;
}

// A response that carries the request's own header, so the client accepts it.
bool isNormalResponse(std::span<const std::uint8_t> response, std::span<const std::uint8_t> request)
{
    return response.size() >= Efs2::kHeaderSize && request.size() >= Efs2::kHeaderSize &&
           std::equal(request.begin(), request.begin() + Efs2::kHeaderSize, response.begin());
}

// The EFS2 error response to `request`: 75, the request's subsystem when it
// is 19 or 62 (else 19), command 28, then `error`.
void writeErrorResponse(Reply& reply, std::span<const std::uint8_t> request, std::uint32_t error)
{
    const bool known = request.size() >= 2 && isFileSubsystem(request[1]);
    reply.clear();
    reply.u8(Efs2::kSubsystemDispatch)
        .u8(known ? request[1] : Efs2::kFileSubsystem)
        .u16(Efs2::ErrorResponse)
        .u32(error);
}

// Replaces the 32-bit field at `offset`, when the response holds one there.
template <class Change>
void patch32(std::span<std::uint8_t> response, std::size_t offset, Change change)
{
    if (offset + 4 <= response.size()) {
        std::uint8_t* field = response.data() + offset;
        write32(field, change(read32(field)));
    }
}

} // namespace

Handset::Handset(FileSystem fileSystem)
    : files_(std::move(fileSystem))
    , buffer_(std::max(kMaxRequest + 1, files_.largestResponse()) + kFaultRoom)
{}

Handset::~Handset() = default;

Exchange Handset::exchange(std::span<const std::uint8_t> request, std::span<std::uint8_t> response)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Exchange result;
    Reply reply(buffer_);
    const std::optional<Fault> fault = takeFault(request);
    if (fault && fault->kind == Fault::Kind::ErrorResponse) {
        writeErrorResponse(reply, request, fault->value);
    } else if (fault && fault->isPortFault() && fault->kind != Fault::Kind::Latency) {
        result.portFault = fault; // lost on the way: the handset never sees it
        return result;
    } else {
        answer(request, reply);
        if (fault && fault->kind == Fault::Kind::Latency) {
            result.portFault = fault;
        } else if (fault) {
            damage(reply, request, *fault);
        }
    }
    result.length = reply.length();
    if (result.length <= response.size()) {
        std::copy_n(buffer_.begin(), result.length, response.begin());
    }
    return result;
}

std::vector<std::uint8_t> Handset::respond(std::span<const std::uint8_t> request)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Reply reply(buffer_);
    answer(request, reply);
    const auto written = reply.written();
    return std::vector<std::uint8_t>(written.begin(), written.end());
}

void Handset::queueFault(const Fault& fault)
{
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.push_back(fault);
}

void Handset::clearFaults()
{
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
}

std::size_t Handset::pendingFaults() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return faults_.size();
}

std::size_t Handset::openDescriptors() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return files_.openDescriptors();
}

std::size_t Handset::openDirectories() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return files_.openDirectories();
}

Handset::RequestCounts Handset::requestCounts() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return counts_;
}

std::optional<Fault> Handset::takeFault(std::span<const std::uint8_t> request)
{
    if (faults_.empty()) {
        return std::nullopt;
    }
    const auto applies = [&](const Fault& fault) {
        return !fault.command ||
               (request.size() >= Efs2::kHeaderSize && read16(&request[2]) == *fault.command);
    };
    const auto found = std::find_if(faults_.begin(), faults_.end(), applies);
    if (found == faults_.end()) {
        return std::nullopt;
    }
    Fault fault = *found;
    faults_.erase(found);
    return fault;
}

// Changes a response the handset made. A field the response lacks is left as
// it is; the fault is spent all the same.
void Handset::damage(Reply& reply, std::span<const std::uint8_t> request, const Fault& fault)
{
    const std::span<std::uint8_t> response = reply.written();
    const std::uint16_t command = isNormalResponse(response, request)
                                      ? read16(request.data() + 2)
                                      : static_cast<std::uint16_t>(Efs2::ErrorResponse);
    switch (fault.kind) {
    case Fault::Kind::TruncatedResponse:
        reply.shorten(fault.value);
        break;
    case Fault::Kind::OversizedResponse:
        reply.zeros(fault.value);
        break;
    case Fault::Kind::StaleOffset:
        if (command == Efs2::Read || command == Efs2::Write) {
            patch32(response, 8, [&](std::uint32_t offset) { return offset - fault.value; });
        }
        break;
    case Fault::Kind::WrongHeader:
        if (response.size() >= Efs2::kHeaderSize) {
            write16(response.data() + 2, static_cast<std::uint16_t>(fault.value));
        }
        break;
    case Fault::Kind::ForeignDescriptor:
        if (command == Efs2::Open || command == Efs2::Read || command == Efs2::Write ||
            command == Efs2::OpenDir || command == Efs2::ReadDir) {
            patch32(response, 4, [&](std::uint32_t handle) { return handle + fault.value; });
        }
        break;
    default:
        break;
    }
}

void Handset::answer(std::span<const std::uint8_t> bytes, Reply& reply)
{
    ++counts_.all;
    if (bytes.size() > kMaxRequest) {
        reply.refusal(Diag::General::BadLength, bytes.first(kMaxRequest));
        return;
    }
    const Request request(bytes);
    if (bytes.empty() || bytes[0] != Efs2::kSubsystemDispatch) {
        general_.answer(request, reply);
    } else if (bytes.size() < Efs2::kHeaderSize || !isFileSubsystem(bytes[1])) {
        // No subsystem this handset has a handler for.
        reply.refusal(Diag::General::BadCommand, bytes);
    } else {
        const std::uint16_t command = read16(&bytes[2]);
        ++counts_.efs2[std::min<std::size_t>(command, counts_.efs2.size() - 1)];
        files_.answer(request, reply);
    }
}

std::uint32_t Handset::storedPath(std::u16string_view path, std::string& stored) const
{
    try {
        stored = Lang::Platform::transcode(path);
    } catch (const std::invalid_argument&) {
        return kInvalidArgument; // malformed UTF-16
    }
    return kSuccess;
}

std::uint32_t Handset::readFile(std::u16string_view path, std::vector<std::uint8_t>& bytes) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::string stored;
    NodePtr node;
    std::uint32_t error = storedPath(path, stored);
    if (error == kSuccess) {
        error = files_.fileSystem().lookup(stored, node);
    }
    if (error == kSuccess && node->isDirectory()) {
        error = kIsDirectory;
    }
    if (error == kSuccess) {
        bytes = node->data();
    }
    return error;
}

std::uint32_t Handset::writeFile(std::u16string_view path, std::span<const std::uint8_t> bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::string stored;
    NodePtr file;
    std::uint32_t error = storedPath(path, stored);
    FileSystem& fileSystem = files_.fileSystem();
    NodePtr existing;
    if (error == kSuccess && fileSystem.lookup(stored, existing) == kSuccess &&
        existing->isItemFile()) {
        return fileSystem.putItem(stored, bytes, OpenFlag::kWriteOnly, Efs2::kModeReadWrite);
    }
    if (error == kSuccess) {
        error = fileSystem.open(stored, OpenFlag::kWriteOnly | OpenFlag::kCreate,
                                Efs2::kModeReadWrite, file);
    }
    if (error == kSuccess) {
        error = fileSystem.replace(*file, bytes);
    }
    return error;
}

std::uint32_t Handset::stat(std::u16string_view path, Attributes& attributes) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::string stored;
    NodePtr node;
    std::uint32_t error = storedPath(path, stored);
    if (error == kSuccess) {
        error = files_.fileSystem().lookup(stored, node);
    }
    if (error == kSuccess) {
        attributes = FileSystem::attributes(*node);
    }
    return error;
}

} // namespace Emulator
