#include "tools/vornak-efs/mount/FileSystem.h"

#include "diag/CEFSException.h"
#include "diag/DeviceError.h"
#include "diag/EFSChmod.h"
#include "diag/EFSClose.h"
#include "diag/EFSCloseDir.h"
#include "diag/EFSFStat.h"
#include "diag/EFSFTruncate.h"
#include "diag/EFSLStat.h"
#include "diag/EFSMkDir.h"
#include "diag/EFSOpen.h"
#include "diag/EFSOpenDir.h"
#include "diag/EFSReadDir.h"
#include "diag/EFSReadLink.h"
#include "diag/EFSRename.h"
#include "diag/EFSRmDir.h"
#include "diag/EFSStat.h"
#include "diag/EFSStatFs.h"
#include "diag/EFSSymlink.h"
#include "diag/EFSTruncate.h"
#include "diag/EFSUnlink.h"
#include "diag/Efs2.h"
#include "efs/EFSDir.h"
#include "efs/File.h"
#include "lang/Transcode.h"
#include "mem/RefCount.h"
#include "tools/vornak-efs/EntryName.h"
#include "tools/vornak-efs/Failure.h"
#include "tools/vornak-efs/Text.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <utility>

namespace VornakEfs::Mount {

namespace Efs2 = Diag::Efs2;

namespace {

constexpr std::uint64_t kLargestOffset = std::numeric_limits<std::uint32_t>::max();

// The handset's error numbers are Linux's. These reach the caller as they
// are; any other would mean something the handset cannot have meant here
// (EINTR, EAGAIN) or nothing at all, and becomes EIO.
constexpr int kPassedOn[] = {
    EPERM,  ENOENT, EIO,     ENXIO,        EBADF,     ENOMEM, EACCES,     EBUSY,   EEXIST,
    EXDEV,  ENODEV, ENOTDIR, EISDIR,       EINVAL,    ENFILE, EMFILE,     ETXTBSY, EFBIG,
    ENOSPC, EROFS,  EMLINK,  ENAMETOOLONG, ENOTEMPTY, ELOOP,  EOPNOTSUPP, EDQUOT,
};

bool isDeviceError(std::uint32_t code)
{
    return code >= 2 && code <= EFSERR_DEVICE_UNKNOWN;
}

// The type a handset mode has on Linux: item files are files to it.
mode_t hostMode(std::uint32_t mode)
{
    const std::uint32_t type = mode & Efs2::kModeTypeMask;
    const std::uint32_t permissions = mode & Efs2::kModePermissionMask;
    switch (type) {
    case Efs2::kModeDirectory:
        return S_IFDIR | permissions;
    case Efs2::kModeSymbolicLink:
        return S_IFLNK | permissions;
    case Efs2::kModeFifo:
        return S_IFIFO | permissions;
    case Efs2::kModeCharacterDevice:
        return S_IFCHR | permissions;
    case Efs2::kModeBlockDevice:
        return S_IFBLK | permissions;
    case Efs2::kModeSocket:
        return S_IFSOCK | permissions;
    default:
        return S_IFREG | permissions;
    }
}

// Why a mount cannot show `name`, or nothing when it can. A Linux folder
// holds any name but these; "\\" and control characters are fine there.
std::optional<std::string> unmountableName(std::u16string_view name)
{
    if (leavesDirectory(name)) {
        return "a name that is no file of its own, or holds a \"/\" or a NUL";
    }
    try {
        toUtf8(name);
    } catch (const std::invalid_argument&) {
        return "a name that is not valid Unicode";
    }
    return std::nullopt;
}

bool holdsBytes(std::uint32_t mode)
{
    return Efs2::isRegularMode(mode) || Efs2::isItemFileMode(mode);
}

// The open flags of the handset for those of open(2): the access, O_CREAT,
// O_EXCL and O_TRUNC, with the same values on the wire. Appending is the
// kernel's business: it hands over every write with its offset.
std::uint32_t handsetFlags(int flags)
{
    namespace OpenFlag = Efs2::OpenFlag;
    std::uint32_t result = static_cast<std::uint32_t>(flags & O_ACCMODE);
    if ((flags & O_CREAT) != 0) {
        result |= OpenFlag::kCreate;
    }
    if ((flags & O_EXCL) != 0) {
        result |= OpenFlag::kExclusive;
    }
    if ((flags & O_TRUNC) != 0) {
        result |= OpenFlag::kTruncate;
    }
    return result;
}

} // namespace

// A descriptor open on the handset: reads and writes at the offsets the
// kernel names, in packets of 512 bytes one after the other, with the
// device file's retry of a read answered for another offset.
class FileSystem::OpenFile : public Efs::File {
public:
    OpenFile(std::int32_t fd, IDiagPort* port, const Settings& settings, std::string mountPath)
        : File(fd, port, settings.timeoutMs, settings.subsystem)
        , path(std::move(mountPath))
    {}

    std::uint32_t readAt(std::uint32_t offset, std::uint8_t* buffer, std::uint32_t count)
    {
        position_ = offset;
        return Read(buffer, count);
    }
    std::uint32_t writeAt(std::uint32_t offset, const std::uint8_t* data, std::uint32_t count)
    {
        position_ = offset;
        return Write(data, count, nullptr);
    }

    const std::string path;
};

FileSystem::FileSystem(Platform::ComPtr<IDiagPort> port, const Settings& settings,
                       std::ostream* notes)
    : watch_(PortWatch::create(std::move(port)))
    , settings_(settings)
    , notes_(notes)
    , cache_(settings.cacheLifetime)
{}

FileSystem::~FileSystem()
{
    while (!files_.empty()) {
        release(files_.begin()->first);
    }
    closeLeftovers();
}

void FileSystem::closeFile(std::int32_t fd)
{
    try {
        CEFSClose(watch_.get(), settings_.timeoutMs, settings_.subsystem).Execute(fd);
    } catch (const CEFSException& e) {
        if (!isDeviceError(e.GetCode())) {
            unclosedFiles_.push_back(fd);
        }
    }
}

void FileSystem::closeDirectory(std::uint32_t dirp)
{
    try {
        CEFSCloseDir(watch_.get(), settings_.timeoutMs, settings_.subsystem).Execute(dirp);
    } catch (const CEFSException& e) {
        if (!isDeviceError(e.GetCode())) {
            unclosedDirectories_.push_back(dirp);
        }
    }
}

void FileSystem::closeLeftovers()
{
    // No OPEN has succeeded since these failed to close, so their numbers
    // still name what the mount opened, whatever the handset did with the
    // request it could not answer.
    std::vector<std::int32_t> files = std::exchange(unclosedFiles_, {});
    for (const std::int32_t fd : files) {
        closeFile(fd);
    }
    std::vector<std::uint32_t> directories = std::exchange(unclosedDirectories_, {});
    for (const std::uint32_t dirp : directories) {
        closeDirectory(dirp);
    }
}

template <class Work>
int FileSystem::attempt(const char* action, const std::string& path, Work&& work)
{
    try {
        if (!unclosedFiles_.empty() || !unclosedDirectories_.empty()) {
            closeLeftovers();
        }
        work();
        return 0;
    } catch (const CEFSException& e) {
        return -errnoOf(e.GetCode(), action, path);
    } catch (const std::invalid_argument&) {
        return -EILSEQ; // a name that is not UTF-8, or a handset's text that is not Unicode
    } catch (const std::bad_alloc&) {
        return -ENOMEM;
    } catch (const std::exception& e) {
        if (notes_ != nullptr) {
            *notes_ << "vornak-efs: " << e.what() << ' ' << action << ' ' << path << std::endl;
        }
        return -EIO;
    }
}

int FileSystem::errnoOf(std::uint32_t code, const char* action, const std::string& path)
{
    if (code >= 2 && code < EFSERR_DEVICE_UNKNOWN) {
        const int deviceError = static_cast<int>(code - 1);
        if (deviceError == ENOSYS) {
            return EOPNOTSUPP; // the kernel would take ENOSYS for "never ask again"
        }
        if (std::find(std::begin(kPassedOn), std::end(kPassedOn), deviceError) !=
            std::end(kPassedOn)) {
            return deviceError;
        }
    }
    if (code == EFSERR_PATH_TOO_LONG) {
        return ENAMETOOLONG;
    }
    if (code == EFSERR_REFUSED) {
        return EOPNOTSUPP; // the handset lacks the command
    }
    // The port failed, or the handset answered what no handset should: the
    // caller sees EIO, and the one running the mount sees why.
    if (notes_ != nullptr) {
        *notes_ << "vornak-efs: "
                << describeCode(code, watch_->lastFailure(), settings_.timeoutMs).words << ' '
                << action << ' ' << path << std::endl;
    }
    return EIO;
}

void FileSystem::fill(struct stat& target, const Attributes& attributes) const
{
    target = {};
    target.st_mode = hostMode(attributes.mode);
    target.st_nlink = Efs2::isDirectoryMode(attributes.mode) ? 2 : attributes.linkCount;
    target.st_uid = settings_.owner;
    target.st_gid = settings_.group;
    target.st_size = attributes.size;
    target.st_blocks = (attributes.size + 511) / 512;
    target.st_atime = attributes.accessTime;
    target.st_mtime = attributes.modificationTime;
    target.st_ctime = attributes.changeTime;
}

std::uint32_t FileSystem::sizeOf(const std::u16string& path)
{
    if (!statRefused_) {
        try {
            return Diag::Efs::Stat(watch_.get(), settings_.timeoutMs, settings_.subsystem)
                .Execute(path)
                .size;
        } catch (const CEFSException& e) {
            if (e.GetCode() != EFSERR_REFUSED) {
                throw;
            }
            statRefused_ = true;
        }
    }
    // Only an open file tells its size then.
    const std::int32_t fd = Diag::Efs::Open(watch_.get(), settings_.timeoutMs, settings_.subsystem)
                                .Execute(path, Efs2::kOpenReadOnly, 0);
    auto file = Rc::makeHeap<Efs::File, Efs::FileBase>(fd, watch_.get(), settings_.timeoutMs,
                                                       settings_.subsystem);
    return file->Size();
}

AttributeCache::Known FileSystem::lookUp(const std::string& path)
{
    const std::u16string handsetPath = fromUtf8(path);
    AttributeCache::Known known;
    Attributes& attributes = known.attributes;
    EFSLStat(watch_.get(), settings_.timeoutMs, settings_.subsystem)
        .Execute(handsetPath, attributes.mode, attributes.accessTime, attributes.modificationTime,
                 attributes.changeTime);
    // LSTAT tells neither size nor link count.
    if (holdsBytes(attributes.mode)) {
        attributes.size = sizeOf(handsetPath);
    } else if (Efs2::isSymbolicLinkMode(attributes.mode)) {
        // The kernel reads the target next; it is kept with the attributes.
        known.linkTarget =
            toUtf8(Diag::Efs::ReadLink(watch_.get(), settings_.timeoutMs, settings_.subsystem)
                       .Execute(handsetPath));
        attributes.size = static_cast<std::uint32_t>(known.linkTarget->size());
    }
    return known;
}

void FileSystem::probe()
{
    try {
        cache_.store("/", lookUp("/").attributes);
    } catch (const CEFSException& e) {
        const Description description =
            describeCode(e.GetCode(), watch_->lastFailure(), settings_.timeoutMs);
        throw Failure(description.exitCode, description.words + " looking up /");
    }
}

int FileSystem::getAttributes(const std::string& path, struct stat& attributes, Handle open)
{
    if (const AttributeCache::Known* known = cache_.find(path)) {
        fill(attributes, known->attributes);
        return 0;
    }
    AttributeCache::Known found;
    const int result = attempt("looking up", path, [&] {
        if (OpenFile* file = find(open)) {
            Attributes& a = found.attributes;
            file->Stat(&a.mode, &a.size, &a.linkCount, &a.accessTime, &a.modificationTime,
                       &a.changeTime);
        } else {
            found = lookUp(path);
        }
    });
    if (result == 0) {
        cache_.store(path, found.attributes);
        if (found.linkTarget) {
            cache_.storeLinkTarget(path, *found.linkTarget);
        }
        fill(attributes, found.attributes);
    }
    return result;
}

std::vector<FileSystem::Listed> FileSystem::readDirectory(const std::u16string& path)
{
    const std::uint32_t dirp =
        CEFSOpenDir(watch_.get(), settings_.timeoutMs, settings_.subsystem).Execute(path);
    std::vector<Listed> listed;
    try {
        CEFSReadDir readDir(watch_.get(), settings_.timeoutMs, settings_.subsystem);
        for (std::uint32_t seqno = 1;; ++seqno) {
            if (listed.size() == settings_.listingLimit) {
                throw Efs::ListingTooLong(settings_.listingLimit); // EIO, with a note
            }
            Listed& entry = listed.emplace_back();
            entry.name =
                readDir.Execute(dirp, seqno, entry.type, entry.mode, entry.size, entry.accessTime,
                                entry.modificationTime, entry.changeTime);
            if (entry.name.empty()) {
                listed.pop_back();
                break;
            }
        }
    } catch (...) {
        closeDirectory(dirp);
        throw;
    }
    closeDirectory(dirp);
    return listed;
}

int FileSystem::list(const std::string& path, std::vector<DirectoryEntry>& entries)
{
    std::vector<Listed> read;
    const int result = attempt("listing", path, [&] { read = readDirectory(fromUtf8(path)); });
    if (result != 0) {
        return result;
    }
    entries.clear();
    entries.reserve(read.size());
    for (const Listed& found : read) {
        std::u16string name;
        try {
            name = Lang::Platform::transcode(found.name);
        } catch (const std::invalid_argument&) {
            name = u"/"; // no character: refused below as no name at all
        }
        const bool isDirectory =
            found.type == Efs2::kEntryDirectory || Efs2::isDirectoryMode(found.mode);
        // A handset may list its directory's own links; the kernel makes its own.
        if (isDirectory && (name == u"." || name == u"..")) {
            continue;
        }
        std::optional<std::string> refused = unmountableName(name);
        if (!refused && Lang::Platform::transcode(name) != found.name) {
            // "&#x41;" reads as "A", which would go back as "A".
            refused = "a name whose bytes would not go back to the handset the same";
        }
        if (refused) {
            // Said once: the kernel lists a directory again and again.
            if (notes_ != nullptr && leftOut_.insert(path + '\0' + found.name).second) {
                *notes_ << "vornak-efs: left out of " << path << ": "
                        << quotedName(name) << ", " << *refused << std::endl;
            }
            continue;
        }
        Attributes attributes;
        attributes.mode = found.mode;
        if (isDirectory && !Efs2::isDirectoryMode(found.mode)) {
            attributes.mode = Efs2::kModeDirectory | (found.mode & Efs2::kModePermissionMask);
        } else if (found.type == Efs2::kEntrySymbolicLink &&
                   (found.mode & Efs2::kModeTypeMask) == 0) {
            attributes.mode = Efs2::kModeSymbolicLink | found.mode;
        }
        attributes.size = isDirectory ? 0 : found.size;
        attributes.accessTime = found.accessTime;
        attributes.modificationTime = found.modificationTime;
        attributes.changeTime = found.changeTime;
        DirectoryEntry& entry = entries.emplace_back();
        entry.name = toUtf8(name);
        fill(entry.attributes, attributes);
        cache_.store(childOf(path, entry.name), attributes);
    }
    return 0;
}

int FileSystem::openDirectory(const std::string& path, Handle& handle)
{
    std::vector<DirectoryEntry> listed;
    const int result = list(path, listed);
    if (result == 0) {
        handle = ++lastHandle_;
        directories_.emplace(handle, std::move(listed));
    }
    return result;
}

const std::vector<DirectoryEntry>* FileSystem::entries(Handle handle) const
{
    const auto found = directories_.find(handle);
    return found == directories_.end() ? nullptr : &found->second;
}

int FileSystem::releaseDirectory(Handle handle)
{
    return directories_.erase(handle) == 1 ? 0 : -EBADF;
}

FileSystem::OpenFile* FileSystem::find(Handle handle)
{
    const auto found = files_.find(handle);
    return found == files_.end() ? nullptr : found->second.get();
}

int FileSystem::openWith(const std::string& path, std::uint32_t flags, std::uint32_t mode,
                         Handle& handle)
{
    if ((flags & (Efs2::OpenFlag::kCreate | Efs2::OpenFlag::kTruncate)) != 0) {
        cache_.forget(path);
    }
    return attempt("opening", path, [&] {
        const std::int32_t fd =
            Diag::Efs::Open(watch_.get(), settings_.timeoutMs, settings_.subsystem)
                .Execute(fromUtf8(path), flags, mode);
        std::unique_ptr<OpenFile> file =
            std::make_unique<Rc::Heap<OpenFile>>(fd, watch_.get(), settings_, path);
        handle = ++lastHandle_;
        files_.emplace(handle, std::move(file));
    });
}

int FileSystem::open(const std::string& path, int flags, Handle& handle)
{
    return openWith(path, handsetFlags(flags & ~(O_CREAT | O_EXCL)), 0, handle);
}

int FileSystem::create(const std::string& path, mode_t mode, int flags, Handle& handle)
{
    return openWith(path, handsetFlags(flags | O_CREAT), mode & Efs2::kModePermissionMask, handle);
}

int FileSystem::read(Handle handle, char* buffer, std::size_t size, off_t offset)
{
    OpenFile* file = find(handle);
    if (file == nullptr) {
        return -EBADF;
    }
    const auto start = static_cast<std::uint64_t>(offset);
    if (start >= kLargestOffset) {
        return 0; // offsets on the wire are 32-bit: nothing lies beyond
    }
    const auto count = static_cast<std::uint32_t>(
        std::min<std::uint64_t>({size, kLargestOffset - start, std::numeric_limits<int>::max()}));
    std::uint32_t got = 0;
    const int result = attempt("reading", file->path, [&] {
        got = file->readAt(static_cast<std::uint32_t>(start),
                           reinterpret_cast<std::uint8_t*>(buffer), count);
    });
    return result != 0 ? result : static_cast<int>(got);
}

int FileSystem::write(Handle handle, const char* data, std::size_t size, off_t offset)
{
    OpenFile* file = find(handle);
    if (file == nullptr) {
        return -EBADF;
    }
    const auto start = static_cast<std::uint64_t>(offset);
    if (size > std::numeric_limits<int>::max() || start + size > kLargestOffset) {
        return -EFBIG;
    }
    cache_.forget(file->path);
    std::uint32_t put = 0;
    const int result = attempt("writing", file->path, [&] {
        put = file->writeAt(static_cast<std::uint32_t>(start),
                            reinterpret_cast<const std::uint8_t*>(data),
                            static_cast<std::uint32_t>(size));
    });
    if (result == 0 && put == 0 && size != 0) {
        return -EIO; // the handset took nothing and said nothing
    }
    return result != 0 ? result : static_cast<int>(put);
}

int FileSystem::release(Handle handle)
{
    const auto found = files_.find(handle);
    if (found == files_.end()) {
        return -EBADF;
    }
    // The handset may set the file's times as it closes it.
    cache_.forget(found->second->path);
    const std::int32_t fd = found->second->Detach();
    files_.erase(found);
    closeFile(fd); // tried again before the next request if the port fails now
    return 0;
}

int FileSystem::truncate(const std::string& path, off_t length, Handle open)
{
    if (length < 0) {
        return -EINVAL;
    }
    if (static_cast<std::uint64_t>(length) > kLargestOffset) {
        return -EFBIG;
    }
    const auto size = static_cast<std::uint32_t>(length);
    cache_.forget(path);
    return attempt("truncating", path, [&] {
        if (OpenFile* file = find(open)) {
            Diag::Efs::FTruncate(watch_.get(), settings_.timeoutMs, settings_.subsystem)
                .Execute(file->descriptor(), size);
        } else {
            Diag::Efs::Truncate(watch_.get(), settings_.timeoutMs, settings_.subsystem)
                .Execute(fromUtf8(path), size);
        }
    });
}

int FileSystem::unlink(const std::string& path)
{
    cache_.forget(path);
    return attempt("removing", path, [&] {
        EFSUnlink(watch_.get(), settings_.timeoutMs, settings_.subsystem).Execute(fromUtf8(path));
    });
}

int FileSystem::makeDirectory(const std::string& path, mode_t mode)
{
    cache_.forget(path);
    return attempt("making the directory", path, [&] {
        CEFSMkDir(watch_.get(), settings_.timeoutMs, settings_.subsystem)
            .Execute(fromUtf8(path), static_cast<std::uint16_t>(mode & Efs2::kModePermissionMask));
    });
}

int FileSystem::removeDirectory(const std::string& path)
{
    cache_.forget(path);
    return attempt("removing the directory", path, [&] {
        Diag::Efs::Commands::RmDir(watch_.get(), settings_.timeoutMs, settings_.subsystem)
            .Execute(fromUtf8(path));
    });
}

int FileSystem::rename(const std::string& from, const std::string& to, unsigned flags)
{
    if (flags != 0) {
        return -EINVAL; // RENAME_NOREPLACE, RENAME_EXCHANGE: callers fall back to a plain rename
    }
    cache_.forget(from);
    cache_.forget(to);
    return attempt("renaming", from + " to " + to, [&] {
        CEFSRename(watch_.get(), settings_.timeoutMs, settings_.subsystem)
            .Execute(fromUtf8(from), fromUtf8(to));
    });
}

int FileSystem::changeMode(const std::string& path, mode_t mode)
{
    cache_.forget(path);
    return attempt("changing the mode of", path, [&] {
        Diag::Efs::Chmod(watch_.get(), settings_.timeoutMs, settings_.subsystem)
            .Execute(fromUtf8(path), static_cast<std::uint16_t>(mode & Efs2::kModePermissionMask));
    });
}

int FileSystem::changeOwner(const std::string&, uid_t owner, gid_t group)
{
    // The handset has no owners: every name is the mounting user's.
    const bool sameOwner = owner == static_cast<uid_t>(-1) || owner == settings_.owner;
    const bool sameGroup = group == static_cast<gid_t>(-1) || group == settings_.group;
    return sameOwner && sameGroup ? 0 : -EPERM;
}

int FileSystem::makeLink(const std::string& target, const std::string& link)
{
    cache_.forget(link);
    return attempt("making the link", link, [&] {
        Diag::Efs::Symlink(watch_.get(), settings_.timeoutMs, settings_.subsystem)
            .Execute(fromUtf8(target), fromUtf8(link));
    });
}

int FileSystem::readLink(const std::string& path, char* buffer, std::size_t size)
{
    if (size == 0) {
        return -EINVAL;
    }
    std::string target;
    if (const AttributeCache::Known* known = cache_.find(path); known && known->linkTarget) {
        target = *known->linkTarget;
    } else if (const int result = attempt("reading the link", path,
                                          [&] {
                                              target = toUtf8(Diag::Efs::ReadLink(
                                                                  watch_.get(), settings_.timeoutMs,
                                                                  settings_.subsystem)
                                                                  .Execute(fromUtf8(path)));
                                          });
               result != 0) {
        return result;
    } else {
        cache_.storeLinkTarget(path, target);
    }
    const std::size_t length = std::min(target.size(), size - 1);
    std::memcpy(buffer, target.data(), length);
    buffer[length] = '\0';
    return 0;
}

int FileSystem::fileSystemStatus(const std::string& path, struct statvfs& status)
{
    Diag::Efs::FileSystemStatus found;
    const int result = attempt("reading the file system of", path, [&] {
        found = Diag::Efs::StatFs(watch_.get(), settings_.timeoutMs, settings_.subsystem)
                    .Execute(fromUtf8(path));
    });
    if (result != 0) {
        return result;
    }
    status = {};
    status.f_bsize = found.blockSize;
    status.f_frsize = found.blockSize;
    status.f_blocks = found.totalBlocks;
    status.f_bfree = found.freeBlocks;
    status.f_bavail = found.availableBlocks;
    status.f_files = found.maxFileCount;
    status.f_ffree = found.maxFileCount - std::min(found.fileCount, found.maxFileCount);
    status.f_favail = status.f_ffree;
    status.f_namemax = 255;
    return 0;
}

int FileSystem::setTimes(const std::string&, const struct timespec times[2])
{
    // The handset stamps a file when it changes and has no request that
    // sets a time: asking for "now" is granted as it stands, any other time
    // is refused.
    const auto isNow = [](const struct timespec& time) {
        return time.tv_nsec == UTIME_NOW || time.tv_nsec == UTIME_OMIT;
    };
    return times == nullptr || (isNow(times[0]) && isNow(times[1])) ? 0 : -EOPNOTSUPP;
}

} // namespace VornakEfs::Mount
