#include "emulator/Handset.h"

#include "diag/Efs2.h"
#include "diag/LittleEndian.h"
#include "lang/Transcode.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace Emulator {

namespace Efs2 = Diag::Efs2;
using Diag::LittleEndian::read16;
using Diag::LittleEndian::read32;
using Diag::LittleEndian::write16;
using Diag::LittleEndian::write32;

namespace {

// Requests of a fixed size; a request of another size is not understood.
constexpr std::size_t kHelloSize = 44;        // header, six windows, three versions, features
constexpr std::size_t kHandleRequestSize = 8; // header and fd or dirp
constexpr std::size_t kReadRequestSize = 16;
constexpr std::size_t kWriteRequestSize = 12; // before the data
constexpr std::size_t kReadDirRequestSize = 12;
constexpr std::size_t kReadDirNameOffset = 40; // header, dirp, seqno, error, type, mode, size, times

constexpr std::uint32_t kEntryFile = 0; // entry types of READDIR
constexpr std::uint32_t kEntryDirectory = 1;
constexpr std::uint32_t kNoDescriptor = 0xFFFFFFFF;  // the fd of a failed OPEN
constexpr std::uint32_t kNoDirectory = 0;            // the dirp of a failed OPENDIR
constexpr std::uint32_t kLargestOffset = 0x7FFFFFFF; // the handset's offsets are signed

// The first free slot of a table that may hold `limit` entries, or `limit`.
template <class T>
std::size_t freeSlot(std::vector<std::optional<T>>& table, std::uint32_t limit)
{
    const auto found = std::find(table.begin(), table.end(), std::nullopt);
    const auto slot = static_cast<std::size_t>(found - table.begin());
    if (slot < table.size()) {
        return slot;
    }
    if (slot < limit) {
        table.emplace_back();
        return slot;
    }
    return limit;
}

template <class T>
std::size_t countOpen(const std::vector<std::optional<T>>& table)
{
    return static_cast<std::size_t>(std::count_if(
        table.begin(), table.end(), [](const auto& slot) { return slot.has_value(); }));
}

// A response that carries the request's own header, so the client accepts it.
bool isNormalResponse(std::span<const std::uint8_t> response, std::span<const std::uint8_t> request)
{
    return response.size() >= Efs2::kHeaderSize && request.size() >= Efs2::kHeaderSize &&
           std::equal(request.begin(), request.begin() + Efs2::kHeaderSize, response.begin());
}

} // namespace

// The fields of one request, read only where the request holds them.
class Handset::Request {
public:
    explicit Request(std::span<const std::uint8_t> bytes)
        : bytes_(bytes)
    {}

    std::size_t size() const { return bytes_.size(); }
    std::span<const std::uint8_t> header() const { return bytes_.first(Efs2::kHeaderSize); }
    std::uint16_t field16(std::size_t offset) const { return read16(bytes_.data() + offset); }
    std::uint32_t field32(std::size_t offset) const { return read32(bytes_.data() + offset); }
    std::span<const std::uint8_t> tail(std::size_t offset) const { return bytes_.subspan(offset); }

    // The NUL-terminated text at `offset`; false when no NUL ends it inside
    // the request. What follows the NUL is not read.
    bool text(std::size_t offset, std::string_view& result) const
    {
        if (offset >= bytes_.size()) {
            return false;
        }
        const auto* begin = bytes_.data() + offset;
        const auto* nul =
            static_cast<const std::uint8_t*>(std::memchr(begin, 0, bytes_.size() - offset));
        if (nul == nullptr) {
            return false;
        }
        result = std::string_view(reinterpret_cast<const char*>(begin),
                                  static_cast<std::size_t>(nul - begin));
        return true;
    }

private:
    std::span<const std::uint8_t> bytes_;
};

namespace {

// A response built field after field, in the order of its layout.
class Reply {
public:
    explicit Reply(std::span<const std::uint8_t> header) { bytes(header); }

    Reply& u16(std::uint16_t value)
    {
        std::uint8_t field[2];
        write16(field, value);
        return bytes(field);
    }
    Reply& u32(std::uint32_t value)
    {
        std::uint8_t field[4];
        write32(field, value);
        return bytes(field);
    }
    Reply& bytes(std::span<const std::uint8_t> data)
    {
        response_.insert(response_.end(), data.begin(), data.end());
        return *this;
    }
    // Windows-1252 text and its NUL.
    Reply& text(std::string_view text)
    {
        response_.insert(response_.end(), text.begin(), text.end());
        response_.push_back(0);
        return *this;
    }
    std::vector<std::uint8_t> take() { return std::move(response_); }

private:
    std::vector<std::uint8_t> response_;
};

// Replaces the 32-bit field at `offset`, when the response holds one there.
template <class Change>
void patch32(std::vector<std::uint8_t>& response, std::size_t offset, Change change)
{
    if (offset + 4 <= response.size()) {
        std::uint8_t* field = response.data() + offset;
        write32(field, change(read32(field)));
    }
}

} // namespace

std::vector<std::uint8_t> errorResponse(std::span<const std::uint8_t> request, std::uint32_t error)
{
    const bool known = request.size() >= 2 && (request[1] == Efs2::kFileSubsystem ||
                                               request[1] == Efs2::kAlternateFileSubsystem);
    const std::uint8_t start[] = {Efs2::kSubsystemDispatch,
                                  known ? request[1] : Efs2::kFileSubsystem};
    return Reply(start).u16(Efs2::ErrorResponse).u32(error).take();
}

Handset::Handset(FileSystem fileSystem)
    : fileSystem_(std::move(fileSystem))
{}

Handset::~Handset() = default;

Exchange Handset::exchange(std::span<const std::uint8_t> request)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Exchange result;
    const std::optional<Fault> fault = takeFault(request);
    if (fault && fault->kind == Fault::Kind::ErrorResponse) {
        result.response = errorResponse(request, fault->value);
        return result;
    }
    if (fault && fault->isPortFault() && fault->kind != Fault::Kind::Latency) {
        result.portFault = fault; // lost on the way: the handset never sees it
        return result;
    }
    result.response = answer(request);
    if (fault && fault->kind == Fault::Kind::Latency) {
        result.portFault = fault;
    } else if (fault && fault->kind == Fault::Kind::EndlessListing) {
        makeEndless(result.response, request);
    } else if (fault) {
        damage(result.response, request, *fault);
    }
    return result;
}

std::vector<std::uint8_t> Handset::respond(std::span<const std::uint8_t> request)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return answer(request);
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
    return countOpen(descriptors_);
}

std::size_t Handset::openDirectories() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return countOpen(directories_);
}

std::optional<Fault> Handset::takeFault(std::span<const std::uint8_t> request)
{
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
void Handset::damage(Response& response, std::span<const std::uint8_t> request, const Fault& fault)
{
    const std::uint16_t command = isNormalResponse(response, request)
                                      ? read16(request.data() + 2)
                                      : static_cast<std::uint16_t>(Efs2::ErrorResponse);
    switch (fault.kind) {
    case Fault::Kind::TruncatedResponse:
        response.resize(std::min<std::size_t>(response.size(), fault.value));
        break;
    case Fault::Kind::OversizedResponse:
        response.resize(response.size() + fault.value, 0);
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
    case Fault::Kind::ListedName:
        // After the fixed fields, the name and its NUL; the end of the
        // directory (the empty name) stays as it is.
        if (command == Efs2::ReadDir && response.size() > kReadDirNameOffset + 1) {
            response.resize(kReadDirNameOffset);
            response.insert(response.end(), fault.name.begin(), fault.name.end());
            response.push_back(0);
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

void Handset::makeEndless(const Response& response, std::span<const std::uint8_t> request)
{
    if (!isNormalResponse(response, request) || read16(request.data() + 2) != Efs2::OpenDir ||
        response.size() < 12) {
        return;
    }
    if (OpenDirectory* handle = directoryHandle(read32(response.data() + 4))) {
        handle->endless = true;
    }
}

Handset::Response Handset::answer(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < Efs2::kHeaderSize || bytes[0] != Efs2::kSubsystemDispatch ||
        (bytes[1] != Efs2::kFileSubsystem && bytes[1] != Efs2::kAlternateFileSubsystem)) {
        return errorResponse(bytes, kInvalidArgument);
    }
    const Request request(bytes);
    Response response;
    switch (request.field16(2)) {
    case Efs2::Hello:
        response = hello(request);
        break;
    case Efs2::Query:
        response = query(request);
        break;
    case Efs2::Open:
        response = open(request);
        break;
    case Efs2::Close:
        response = close(request);
        break;
    case Efs2::Read:
        response = read(request);
        break;
    case Efs2::Write:
        response = write(request);
        break;
    case Efs2::Unlink:
        response = unlink(request);
        break;
    case Efs2::MkDir:
        response = makeDirectory(request);
        break;
    case Efs2::RmDir:
        response = removeDirectory(request);
        break;
    case Efs2::OpenDir:
        response = openDirectory(request);
        break;
    case Efs2::ReadDir:
        response = readDirectory(request);
        break;
    case Efs2::CloseDir:
        response = closeDirectory(request);
        break;
    case Efs2::Rename:
        response = rename(request);
        break;
    case Efs2::LStat:
        response = linkStat(request);
        break;
    case Efs2::FStat:
        response = fileStat(request);
        break;
    default:
        break;
    }
    // The handlers answer nothing to a request they cannot parse.
    return response.empty() ? errorResponse(bytes, kInvalidArgument) : response;
}

Handset::Response Handset::hello(const Request& request)
{
    if (request.size() != kHelloSize) {
        return {};
    }
    // The host's windows and versions are read and answered with the handset's own.
    const std::uint32_t values[] = {kPacketWindow, kByteWindow, kPacketWindow, kByteWindow,
                                    kPacketWindow, kByteWindow, kVersion,      kVersion,
                                    kVersion,      kFeatureBits};
    Reply reply(request.header());
    for (const std::uint32_t value : values) {
        reply.u32(value);
    }
    return reply.take();
}

Handset::Response Handset::query(const Request& request)
{
    if (request.size() != Efs2::kHeaderSize) {
        return {};
    }
    const Limits& limits = fileSystem_.limits();
    const std::uint32_t values[] = {limits.maxNameLength,       limits.maxPathLength,
                                    kMaxSymlinkDepth,           limits.maxFileSize,
                                    limits.maxDirectoryEntries, kMounts};
    Reply reply(request.header());
    for (const std::uint32_t value : values) {
        reply.u32(value);
    }
    return reply.take();
}

Handset::OpenFile* Handset::descriptor(std::uint32_t fd)
{
    return fd < descriptors_.size() && descriptors_[fd] ? &*descriptors_[fd] : nullptr;
}

Handset::OpenDirectory* Handset::directoryHandle(std::uint32_t dirp)
{
    return dirp != kNoDirectory && dirp <= directories_.size() && directories_[dirp - 1]
               ? &*directories_[dirp - 1]
               : nullptr;
}

Handset::Response Handset::open(const Request& request)
{
    constexpr std::size_t kPathOffset = 12;
    std::string_view path;
    if (!request.text(kPathOffset, path)) {
        return {};
    }
    const std::uint32_t flags = request.field32(4);
    const std::uint32_t mode = request.field32(8);
    std::uint32_t fd = kNoDescriptor;
    std::uint32_t error = kTooManyOpen;
    const std::size_t slot = freeSlot(descriptors_, fileSystem_.limits().maxOpenFiles);
    if (slot < fileSystem_.limits().maxOpenFiles) {
        NodePtr file;
        error = fileSystem_.open(path, flags, mode, file);
        if (error == kSuccess) {
            descriptors_[slot] = OpenFile{std::move(file), flags};
            fd = static_cast<std::uint32_t>(slot);
        }
    }
    return Reply(request.header()).u32(fd).u32(error).take();
}

Handset::Response Handset::close(const Request& request)
{
    if (request.size() != kHandleRequestSize) {
        return {};
    }
    const std::uint32_t fd = request.field32(4);
    std::uint32_t error = kBadDescriptor;
    if (descriptor(fd) != nullptr) {
        descriptors_[fd].reset();
        error = kSuccess;
    }
    return Reply(request.header()).u32(error).take();
}

Handset::Response Handset::read(const Request& request)
{
    if (request.size() != kReadRequestSize) {
        return {};
    }
    const std::uint32_t fd = request.field32(4);
    const std::uint32_t count = request.field32(8);
    const std::uint32_t offset = request.field32(12);
    std::uint32_t error = kSuccess;
    std::span<const std::uint8_t> data;
    const OpenFile* open = descriptor(fd);
    if (open == nullptr || (open->flags & OpenFlag::kAccessMask) == OpenFlag::kWriteOnly) {
        error = kBadDescriptor;
    } else if (offset > kLargestOffset) {
        error = kInvalidArgument;
    } else if (offset < open->file->data().size()) {
        // Short at the end of the file, and never more than one transfer.
        data = std::span(open->file->data()).subspan(offset);
        data = data.first(
            std::min<std::size_t>({data.size(), count, fileSystem_.limits().maxTransfer}));
    }
    return Reply(request.header())
        .u32(fd)
        .u32(offset)
        .u32(static_cast<std::uint32_t>(data.size()))
        .u32(error)
        .bytes(data)
        .take();
}

Handset::Response Handset::write(const Request& request)
{
    if (request.size() < kWriteRequestSize) {
        return {};
    }
    const std::uint32_t fd = request.field32(4);
    const std::uint32_t offset = request.field32(8);
    const std::span<const std::uint8_t> data = request.tail(kWriteRequestSize);
    std::uint32_t error = kSuccess;
    OpenFile* open = descriptor(fd);
    if (open == nullptr || (open->flags & OpenFlag::kAccessMask) == OpenFlag::kReadOnly) {
        error = kBadDescriptor;
    } else if (offset > kLargestOffset) {
        error = kInvalidArgument;
    } else {
        // O_APPEND writes at the end whatever the offset; the response repeats the offset asked
        // for.
        const std::uint64_t at =
            (open->flags & OpenFlag::kAppend) != 0 ? open->file->data().size() : offset;
        error = fileSystem_.write(*open->file, at, data);
    }
    return Reply(request.header())
        .u32(fd)
        .u32(offset)
        .u32(error == kSuccess ? static_cast<std::uint32_t>(data.size()) : 0)
        .u32(error)
        .take();
}

Handset::Response Handset::unlink(const Request& request)
{
    // The client sends a second zero byte after the path's NUL; it is not read.
    std::string_view path;
    if (!request.text(4, path)) {
        return {};
    }
    return Reply(request.header()).u32(fileSystem_.unlink(path)).take();
}

Handset::Response Handset::makeDirectory(const Request& request)
{
    constexpr std::size_t kPathOffset = 6; // after the 16-bit mode
    std::string_view path;
    if (!request.text(kPathOffset, path)) {
        return {};
    }
    return Reply(request.header()).u32(fileSystem_.makeDirectory(path, request.field16(4))).take();
}

Handset::Response Handset::removeDirectory(const Request& request)
{
    std::string_view path;
    if (!request.text(4, path)) {
        return {};
    }
    return Reply(request.header()).u32(fileSystem_.removeDirectory(path)).take();
}

Handset::Response Handset::openDirectory(const Request& request)
{
    std::string_view path;
    if (!request.text(4, path)) {
        return {};
    }
    std::uint32_t dirp = kNoDirectory;
    std::uint32_t error = kTooManyOpen;
    const std::size_t slot = freeSlot(directories_, fileSystem_.limits().maxOpenDirectories);
    if (slot < fileSystem_.limits().maxOpenDirectories) {
        NodePtr directory;
        error = fileSystem_.lookup(path, directory);
        if (error == kSuccess && !directory->isDirectory()) {
            error = kNotDirectory;
        }
        if (error == kSuccess) {
            OpenDirectory& handle = directories_[slot].emplace();
            for (const auto& entry : directory->entries) {
                handle.names.push_back(entry.first);
            }
            handle.directory = std::move(directory);
            dirp = static_cast<std::uint32_t>(slot + 1);
        }
    }
    return Reply(request.header()).u32(dirp).u32(error).take();
}

Handset::Response Handset::readDirectory(const Request& request)
{
    if (request.size() != kReadDirRequestSize) {
        return {};
    }
    const std::uint32_t dirp = request.field32(4);
    std::uint32_t seqno = request.field32(8);
    std::uint32_t error = kSuccess;
    std::string name;
    Attributes attributes;
    if (const OpenDirectory* handle = directoryHandle(dirp); handle == nullptr) {
        error = kBadDescriptor;
    } else if (seqno == 0) {
        error = kInvalidArgument; // entries count from 1
    } else {
        // Entry n is the n-th name at OPENDIR; one removed since then is
        // passed over, and the response says which entry it holds.
        const auto& entries = handle->directory->entries;
        for (std::uint32_t n = seqno; n <= handle->names.size(); ++n) {
            const auto found = entries.find(handle->names[n - 1]);
            if (found != entries.end()) {
                seqno = n;
                name = found->first;
                attributes = FileSystem::attributes(*found->second);
                break;
            }
        }
        if (name.empty() && handle->endless) {
            name = "endless-" + std::to_string(seqno);
            attributes.mode = Efs2::kModeRegular | 0644;
            attributes.linkCount = 1;
        }
    }
    // After the last entry, and with an error: the empty name.
    const bool directory = Efs2::isDirectoryMode(attributes.mode);
    return Reply(request.header())
        .u32(dirp)
        .u32(seqno)
        .u32(error)
        .u32(directory ? kEntryDirectory : kEntryFile)
        .u32(attributes.mode)
        .u32(attributes.size)
        .u32(attributes.accessTime)
        .u32(attributes.modificationTime)
        .u32(attributes.creationTime)
        .text(name)
        .take();
}

Handset::Response Handset::closeDirectory(const Request& request)
{
    if (request.size() != kHandleRequestSize) {
        return {};
    }
    const std::uint32_t dirp = request.field32(4);
    std::uint32_t error = kBadDescriptor;
    if (directoryHandle(dirp) != nullptr) {
        directories_[dirp - 1].reset();
        error = kSuccess;
    }
    return Reply(request.header()).u32(error).take();
}

Handset::Response Handset::rename(const Request& request)
{
    std::string_view from;
    std::string_view to;
    if (!request.text(4, from) || !request.text(4 + from.size() + 1, to)) {
        return {};
    }
    return Reply(request.header()).u32(fileSystem_.rename(from, to)).take();
}

Handset::Response Handset::linkStat(const Request& request)
{
    std::string_view path;
    if (!request.text(4, path)) {
        return {};
    }
    NodePtr node;
    const std::uint32_t error = fileSystem_.lookup(path, node);
    const Attributes attributes = node ? FileSystem::attributes(*node) : Attributes();
    return Reply(request.header())
        .u32(error)
        .u32(attributes.mode)
        .u32(attributes.accessTime)
        .u32(attributes.modificationTime)
        .u32(attributes.creationTime)
        .take();
}

Handset::Response Handset::fileStat(const Request& request)
{
    if (request.size() != kHandleRequestSize) {
        return {};
    }
    const OpenFile* open = descriptor(request.field32(4));
    const Attributes attributes = open ? FileSystem::attributes(*open->file) : Attributes();
    return Reply(request.header())
        .u32(open != nullptr ? kSuccess : kBadDescriptor)
        .u32(attributes.mode)
        .u32(attributes.size)
        .u32(attributes.linkCount)
        .u32(attributes.accessTime)
        .u32(attributes.modificationTime)
        .u32(attributes.creationTime)
        .take();
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
        error = fileSystem_.lookup(stored, node);
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
    if (error == kSuccess) {
        error = fileSystem_.open(stored, OpenFlag::kWriteOnly | OpenFlag::kCreate,
                                 Efs2::kModeReadWrite, file);
    }
    if (error == kSuccess) {
        error = fileSystem_.replace(*file, bytes);
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
        error = fileSystem_.lookup(stored, node);
    }
    if (error == kSuccess) {
        attributes = FileSystem::attributes(*node);
    }
    return error;
}

} // namespace Emulator
