#include "emulator/FileCommands.h"

#include "diag/Efs2.h"
#include "diag/General.h"
#include "diag/DeviceError.h"
#include "platform/Md5.h"

#include <algorithm>
#include <charconv>

namespace Emulator {

namespace Efs2 = Diag::Efs2;
using Follow = FileSystem::Follow;

namespace {

// Requests of a fixed size; a request of another size is not understood.
constexpr std::size_t kHelloSize = 44;        // header, six windows, three versions, features
constexpr std::size_t kHandleRequestSize = 8; // header and fd or dirp
constexpr std::size_t kReadRequestSize = 16;
constexpr std::size_t kWriteRequestSize = 12; // before the data
constexpr std::size_t kReadDirRequestSize = 12;
constexpr std::size_t kFTruncateRequestSize = 14; // header, sequence, length, fd
constexpr std::size_t kPutFieldsSize = 16;        // header, data length, flags, mode
constexpr std::size_t kGetFieldsSize = 14;        // header, length wanted, path length, sequence
constexpr std::size_t kReadDirNameOffset = 40;

constexpr std::uint32_t kNoDescriptor = 0xFFFFFFFF;  // the fd of a failed OPEN
constexpr std::uint32_t kNoDirectory = 0;            // the dirp of a failed OPENDIR
constexpr std::uint32_t kNoCount = 0xFFFFFFFF;       // the length of a failed GET
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

std::uint32_t entryType(const Node& node)
{
    if (node.isDirectory()) {
        return Efs2::kEntryDirectory;
    }
    return node.isSymbolicLink() ? Efs2::kEntrySymbolicLink : Efs2::kEntryFile;
}

// The request's header: the start of every response to a known command.
Reply& headed(Reply& reply, const Request& request)
{
    return reply.bytes(request.first(Efs2::kHeaderSize));
}

} // namespace

FileCommands::FileCommands(FileSystem fileSystem)
    : fileSystem_(std::move(fileSystem))
{}

std::size_t FileCommands::openDescriptors() const
{
    return countOpen(descriptors_);
}

std::size_t FileCommands::openDirectories() const
{
    return countOpen(directories_);
}

void FileCommands::makeEndless(std::uint32_t dirp)
{
    if (OpenDirectory* handle = directoryHandle(dirp)) {
        handle->endless = true;
    }
}

std::size_t FileCommands::largestResponse() const
{
    const Limits& limits = fileSystem_.limits();
    const std::size_t read = 20 + std::size_t{limits.maxTransfer};
    const std::size_t item = kGetFieldsSize + std::size_t{limits.maxItemSize};
    const std::size_t text = kReadDirNameOffset + std::size_t{limits.maxPathLength} + 1;
    return std::max({read, item, text});
}

void FileCommands::answer(const Request& request, Reply& reply)
{
    bool parsed = true;
    switch (request.field16(2)) {
    case Efs2::Hello:
        parsed = hello(request, reply);
        break;
    case Efs2::Query:
        parsed = query(request, reply);
        break;
    case Efs2::Open:
        parsed = open(request, reply);
        break;
    case Efs2::Close:
        parsed = close(request, reply);
        break;
    case Efs2::Read:
        parsed = read(request, reply);
        break;
    case Efs2::Write:
        parsed = write(request, reply);
        break;
    case Efs2::Symlink:
        parsed = symlink(request, reply);
        break;
    case Efs2::ReadLink:
        parsed = readLink(request, reply);
        break;
    case Efs2::Unlink:
        parsed = unlink(request, reply);
        break;
    case Efs2::MkDir:
        parsed = makeDirectory(request, reply);
        break;
    case Efs2::RmDir:
        parsed = removeDirectory(request, reply);
        break;
    case Efs2::OpenDir:
        parsed = openDirectory(request, reply);
        break;
    case Efs2::ReadDir:
        parsed = readDirectory(request, reply);
        break;
    case Efs2::CloseDir:
        parsed = closeDirectory(request, reply);
        break;
    case Efs2::Rename:
        parsed = rename(request, reply);
        break;
    case Efs2::Stat:
        parsed = stat(request, reply, Follow::Links);
        break;
    case Efs2::LStat:
        parsed = stat(request, reply, Follow::NotLast);
        break;
    case Efs2::FStat:
        parsed = fileStat(request, reply);
        break;
    case Efs2::Chmod:
        parsed = changeMode(request, reply);
        break;
    case Efs2::StatFs:
        parsed = statFs(request, reply);
        break;
    case Efs2::Access:
        parsed = access(request, reply);
        break;
    case Efs2::DevInfo:
        parsed = deviceInfo(request, reply);
        break;
    case Efs2::DelTree:
        parsed = removeTree(request, reply);
        break;
    case Efs2::Put:
        parsed = put(request, reply);
        break;
    case Efs2::Get:
        parsed = get(request, reply);
        break;
    case Efs2::Truncate:
        parsed = truncate(request, reply);
        break;
    case Efs2::FTruncate:
        parsed = truncateOpen(request, reply);
        break;
    case Efs2::Md5Sum:
        parsed = md5Sum(request, reply);
        break;
    default:
        reply.refusal(Diag::General::BadCommand, request.bytes());
        return;
    }
    if (!parsed) {
        reply.refusal(Diag::General::BadLength, request.bytes());
    }
}

bool FileCommands::hello(const Request& request, Reply& reply)
{
    if (request.size() != kHelloSize) {
        return false;
    }
    // The host's windows and versions are read and answered with the handset's own.
    const std::uint32_t values[] = {kPacketWindow, kByteWindow, kPacketWindow, kByteWindow,
                                    kPacketWindow, kByteWindow, kVersion,      kVersion,
                                    kVersion,      kFeatureBits};
    headed(reply, request);
    for (const std::uint32_t value : values) {
        reply.u32(value);
    }
    return true;
}

bool FileCommands::query(const Request& request, Reply& reply)
{
    if (request.size() != Efs2::kHeaderSize) {
        return false;
    }
    const Limits& limits = fileSystem_.limits();
    const std::uint32_t values[] = {limits.maxNameLength,       limits.maxPathLength,
                                    limits.maxSymlinkDepth,     limits.maxFileSize,
                                    limits.maxDirectoryEntries, kMounts};
    headed(reply, request);
    for (const std::uint32_t value : values) {
        reply.u32(value);
    }
    return true;
}

FileCommands::OpenFile* FileCommands::descriptor(std::uint32_t fd)
{
    return fd < descriptors_.size() && descriptors_[fd] ? &*descriptors_[fd] : nullptr;
}

FileCommands::OpenDirectory* FileCommands::directoryHandle(std::uint32_t dirp)
{
    return dirp != kNoDirectory && dirp <= directories_.size() && directories_[dirp - 1]
               ? &*directories_[dirp - 1]
               : nullptr;
}

bool FileCommands::open(const Request& request, Reply& reply)
{
    constexpr std::size_t kPathOffset = 12;
    std::string_view path;
    if (!request.text(kPathOffset, path)) {
        return false;
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
    headed(reply, request).u32(fd).u32(error);
    return true;
}

bool FileCommands::close(const Request& request, Reply& reply)
{
    if (request.size() != kHandleRequestSize) {
        return false;
    }
    const std::uint32_t fd = request.field32(4);
    std::uint32_t error = kBadDescriptor;
    if (descriptor(fd) != nullptr) {
        descriptors_[fd].reset();
        error = kSuccess;
    }
    headed(reply, request).u32(error);
    return true;
}

bool FileCommands::read(const Request& request, Reply& reply)
{
    if (request.size() != kReadRequestSize) {
        return false;
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
    headed(reply, request)
        .u32(fd)
        .u32(offset)
        .u32(static_cast<std::uint32_t>(data.size()))
        .u32(error)
        .bytes(data);
    return true;
}

bool FileCommands::write(const Request& request, Reply& reply)
{
    if (request.size() < kWriteRequestSize) {
        return false;
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
        // O_APPEND writes at the end whatever the offset; the response
        // repeats the offset asked for.
        const std::uint64_t at =
            (open->flags & OpenFlag::kAppend) != 0 ? open->file->data().size() : offset;
        error = fileSystem_.write(*open->file, at, data);
    }
    headed(reply, request)
        .u32(fd)
        .u32(offset)
        .u32(error == kSuccess ? static_cast<std::uint32_t>(data.size()) : 0)
        .u32(error);
    return true;
}

bool FileCommands::symlink(const Request& request, Reply& reply)
{
    std::string_view target;
    std::string_view path;
    if (!request.text(4, target) || !request.text(4 + target.size() + 1, path)) {
        return false;
    }
    headed(reply, request).u32(fileSystem_.makeLink(target, path));
    return true;
}

bool FileCommands::readLink(const Request& request, Reply& reply)
{
    std::string_view path;
    if (!request.text(4, path)) {
        return false;
    }
    std::string_view target;
    const std::uint32_t error = fileSystem_.readLink(path, target);
    headed(reply, request).u32(error).text(error == kSuccess ? target : std::string_view());
    return true;
}

bool FileCommands::unlink(const Request& request, Reply& reply)
{
    // Some clients send a second zero byte after the path's NUL; it is not read.
    std::string_view path;
    if (!request.text(4, path)) {
        return false;
    }
    headed(reply, request).u32(fileSystem_.unlink(path));
    return true;
}

bool FileCommands::makeDirectory(const Request& request, Reply& reply)
{
    constexpr std::size_t kPathOffset = 6; // after the 16-bit mode
    std::string_view path;
    if (!request.text(kPathOffset, path)) {
        return false;
    }
    headed(reply, request).u32(fileSystem_.makeDirectory(path, request.field16(4)));
    return true;
}

bool FileCommands::removeDirectory(const Request& request, Reply& reply)
{
    std::string_view path;
    if (!request.text(4, path)) {
        return false;
    }
    headed(reply, request).u32(fileSystem_.removeDirectory(path));
    return true;
}

bool FileCommands::openDirectory(const Request& request, Reply& reply)
{
    std::string_view path;
    if (!request.text(4, path)) {
        return false;
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
    headed(reply, request).u32(dirp).u32(error);
    return true;
}

bool FileCommands::readDirectory(const Request& request, Reply& reply)
{
    if (request.size() != kReadDirRequestSize) {
        return false;
    }
    const std::uint32_t dirp = request.field32(4);
    std::uint32_t seqno = request.field32(8);
    std::uint32_t error = kSuccess;
    std::string_view name;
    const Node* entry = nullptr;
    bool madeUp = false;
    char madeUpName[24] = "endless-";
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
                entry = found->second.get();
                break;
            }
        }
        if (entry == nullptr && handle->endless) {
            constexpr std::size_t prefix = sizeof "endless-" - 1;
            const auto end =
                std::to_chars(madeUpName + prefix, madeUpName + sizeof madeUpName, seqno).ptr;
            name = std::string_view(madeUpName, static_cast<std::size_t>(end - madeUpName));
            madeUp = true;
        }
    }
    // After the last entry, and with an error: the empty name and zeros.
    Attributes attributes = entry ? FileSystem::attributes(*entry) : Attributes();
    if (madeUp) {
        attributes.mode = Efs2::kModeRegular | 0644;
    }
    headed(reply, request)
        .u32(dirp)
        .u32(seqno)
        .u32(error)
        .u32(entry ? entryType(*entry) : Efs2::kEntryFile)
        .u32(attributes.mode)
        .u32(attributes.size)
        .u32(attributes.accessTime)
        .u32(attributes.modificationTime)
        .u32(attributes.creationTime)
        .text(name);
    return true;
}

bool FileCommands::closeDirectory(const Request& request, Reply& reply)
{
    if (request.size() != kHandleRequestSize) {
        return false;
    }
    const std::uint32_t dirp = request.field32(4);
    std::uint32_t error = kBadDescriptor;
    if (directoryHandle(dirp) != nullptr) {
        directories_[dirp - 1].reset();
        error = kSuccess;
    }
    headed(reply, request).u32(error);
    return true;
}

bool FileCommands::rename(const Request& request, Reply& reply)
{
    std::string_view from;
    std::string_view to;
    if (!request.text(4, from) || !request.text(4 + from.size() + 1, to)) {
        return false;
    }
    headed(reply, request).u32(fileSystem_.rename(from, to));
    return true;
}

// STAT (32 bytes, also when it fails: mode, size, link count, times) and
// LSTAT (24 bytes: mode and times).
bool FileCommands::stat(const Request& request, Reply& reply, Follow follow)
{
    std::string_view path;
    if (!request.text(4, path)) {
        return false;
    }
    NodePtr node;
    const std::uint32_t error = fileSystem_.lookup(path, node, follow);
    const Attributes attributes = node ? FileSystem::attributes(*node) : Attributes();
    headed(reply, request).u32(error).u32(attributes.mode);
    if (follow == Follow::Links) {
        reply.u32(attributes.size).u32(attributes.linkCount);
    }
    reply.u32(attributes.accessTime).u32(attributes.modificationTime).u32(attributes.creationTime);
    return true;
}

bool FileCommands::fileStat(const Request& request, Reply& reply)
{
    if (request.size() != kHandleRequestSize) {
        return false;
    }
    const OpenFile* open = descriptor(request.field32(4));
    const Attributes attributes = open ? FileSystem::attributes(*open->file) : Attributes();
    headed(reply, request)
        .u32(open != nullptr ? kSuccess : kBadDescriptor)
        .u32(attributes.mode)
        .u32(attributes.size)
        .u32(attributes.linkCount)
        .u32(attributes.accessTime)
        .u32(attributes.modificationTime)
        .u32(attributes.creationTime);
    return true;
}

bool FileCommands::changeMode(const Request& request, Reply& reply)
{
    constexpr std::size_t kPathOffset = 6; // after the 16-bit mode
    std::string_view path;
    if (!request.text(kPathOffset, path)) {
        return false;
    }
    headed(reply, request).u32(fileSystem_.changeMode(path, request.field16(4)));
    return true;
}

// Counts in blocks of kBlockSize bytes: the capacity, and what the files
// leave of it.
bool FileCommands::statFs(const Request& request, Reply& reply)
{
    std::string_view path;
    if (!request.text(4, path)) {
        return false;
    }
    NodePtr node;
    const std::uint32_t error = fileSystem_.lookup(path, node);
    headed(reply, request).u32(error);
    if (error != kSuccess) {
        reply.zeros(40); // the fields of a file system
        return true;
    }
    const Usage usage = fileSystem_.usage();
    const auto blocks = [](std::uint64_t bytes) {
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes / kBlockSize, 0xFFFFFFFF));
    };
    const std::uint32_t free = blocks(usage.capacity - std::min(usage.storedBytes, usage.capacity));
    reply
        .u32(0) // file system id
        .text(kFileSystemType)
        .zeros(8 - sizeof kFileSystemType)
        .u32(kBlockSize)
        .u32(blocks(usage.capacity))
        .u32(free)
        .u32(free)
        .u32(fileSystem_.limits().maxFileSize)
        .u32(usage.nodes)
        .u32(usage.maxNodes);
    return true;
}

bool FileCommands::access(const Request& request, Reply& reply)
{
    constexpr std::size_t kPathOffset = 5; // after the permission byte
    std::string_view path;
    if (!request.text(kPathOffset, path)) {
        return false;
    }
    headed(reply, request).u32(fileSystem_.access(path, request.field8(4)));
    return true;
}

// A NAND flash that holds the capacity in whole blocks.
bool FileCommands::deviceInfo(const Request& request, Reply& reply)
{
    if (request.size() != Efs2::kHeaderSize) {
        return false;
    }
    constexpr std::uint64_t kEraseBlock = std::uint64_t{kPageSize} * kPagesPerBlock;
    const std::uint64_t capacity = fileSystem_.limits().capacity;
    const auto blocks = static_cast<std::uint32_t>(
        std::min<std::uint64_t>((capacity + kEraseBlock - 1) / kEraseBlock, 0x7FFFFFFF));
    headed(reply, request)
        .u32(kSuccess)
        .u32(blocks)
        .u32(kPagesPerBlock)
        .u32(kPageSize)
        .u32(kPageSize + kSpareSize)
        .u32(0) // maker and device ids: no maker's part
        .u32(0)
        .u8(1) // NAND
        .text(kDeviceName);
    return true;
}

bool FileCommands::removeTree(const Request& request, Reply& reply)
{
    constexpr std::size_t kPathOffset = 6; // after the sequence number
    std::string_view path;
    if (!request.text(kPathOffset, path)) {
        return false;
    }
    headed(reply, request).u16(request.field16(4)).u32(fileSystem_.removeTree(path));
    return true;
}

// Data length, flags and mode, the data, then the path; the response has a
// sequence number as the later commands do, 0 here.
bool FileCommands::put(const Request& request, Reply& reply)
{
    if (request.size() < kPutFieldsSize) {
        return false;
    }
    const std::uint32_t length = request.field32(4);
    std::string_view path;
    if (length >= request.size() - kPutFieldsSize ||
        !request.lastText(kPutFieldsSize + length, path)) {
        return false;
    }
    const std::uint32_t error = fileSystem_.putItem(
        path, request.tail(kPutFieldsSize).first(length), request.field32(8), request.field32(12));
    headed(reply, request).u16(0).u32(error);
    return true;
}

// Two forms: the length wanted, the path's length with its NUL, a sequence
// number and the path, answered with the length, the error number, the
// sequence number and the data; or the path alone (beginning with "/"),
// answered without a sequence number, the whole item up to its limit.
bool FileCommands::get(const Request& request, Reply& reply)
{
    const Limits& limits = fileSystem_.limits();
    std::string_view path;
    std::uint32_t wanted = limits.maxItemSize;
    std::optional<std::uint16_t> sequence;
    if (request.lastText(Efs2::kHeaderSize, path) && path.starts_with('/')) {
        // The path alone.
    } else if (request.size() > kGetFieldsSize && request.lastText(kGetFieldsSize, path) &&
               request.field32(8) == path.size() + 1) {
        wanted = request.field32(4);
        sequence = request.field16(12);
    } else {
        return false;
    }
    NodePtr node;
    std::uint32_t error = fileSystem_.lookup(path, node);
    if (error == kSuccess && node->isDirectory()) {
        error = kIsDirectory;
    } else if (error == kSuccess && node->data().size() > limits.maxItemSize) {
        error = kFileTooBig;
    } else if (error == kSuccess && node->data().size() > wanted) {
        error = kOutOfRange;
    }
    const std::span<const std::uint8_t> data = error == kSuccess
                                                   ? std::span<const std::uint8_t>(node->data())
                                                   : std::span<const std::uint8_t>();
    headed(reply, request)
        .u32(error == kSuccess ? static_cast<std::uint32_t>(data.size()) : kNoCount)
        .u32(error);
    if (sequence) {
        reply.u16(*sequence);
    }
    reply.bytes(data);
    return true;
}

bool FileCommands::truncate(const Request& request, Reply& reply)
{
    constexpr std::size_t kPathOffset = 10; // after the sequence number and the length
    std::string_view path;
    if (request.size() <= kPathOffset || !request.text(kPathOffset, path)) {
        return false;
    }
    headed(reply, request)
        .u16(request.field16(4))
        .u32(fileSystem_.truncate(path, request.field32(6)));
    return true;
}

bool FileCommands::truncateOpen(const Request& request, Reply& reply)
{
    if (request.size() != kFTruncateRequestSize) {
        return false;
    }
    const OpenFile* open = descriptor(request.field32(10));
    std::uint32_t error = kBadDescriptor;
    if (open != nullptr && (open->flags & OpenFlag::kAccessMask) == OpenFlag::kReadOnly) {
        error = kInvalidArgument; // open, but not for writing
    } else if (open != nullptr) {
        error = fileSystem_.truncate(*open->file, request.field32(6));
    }
    headed(reply, request).u16(request.field16(4)).u32(error);
    return true;
}

bool FileCommands::md5Sum(const Request& request, Reply& reply)
{
    constexpr std::size_t kPathOffset = 6; // after the sequence number
    std::string_view path;
    if (!request.text(kPathOffset, path)) {
        return false;
    }
    NodePtr node;
    std::uint32_t error = fileSystem_.lookup(path, node);
    if (error == kSuccess && node->isDirectory()) {
        error = kIsDirectory;
    }
    headed(reply, request).u16(request.field16(4)).u32(error);
    if (error == kSuccess) {
        reply.bytes(Platform::md5(node->data()));
    } else {
        reply.zeros(Efs2::kMd5Size);
    }
    return true;
}

} // namespace Emulator
