#include "efs/File.h"

#include "diag/CEFSException.h"
#include "diag/EFSClose.h"
#include "diag/EFSFStat.h"
#include "diag/EFSOpen.h"
#include "diag/EFSRead.h"
#include "diag/EFSWrite.h"
#include "efs/PortLog.h"
#include "platform/Thread.h"
#include "system/BasicPath.h"
#include "system/EfsPathTraits.h"

#include <algorithm>
#include <utility>

namespace Efs {

namespace {

// Throw sites of the file object: the file and the lines that name them.
constexpr const char* kSiteFile = "EFSFile";
constexpr std::uint32_t kOpenAlreadyOpenLine = 105;
constexpr std::uint32_t kReadNotOpenLine = 197;
constexpr std::uint32_t kWriteNotOpenLine = 244;
constexpr std::uint32_t kWriteCountLine = 259;
constexpr std::uint32_t kStatNotOpenLine = 273;
constexpr std::uint32_t kSeekNotOpenLine = 314;
constexpr std::uint32_t kAttachOpenLine = 338;
constexpr std::uint32_t kDetachNotOpenLine = 356;

constexpr int kReadAttempts = 3;

[[noreturn]] void fail(std::uint32_t code, std::uint32_t line)
{
    throw CEFSException("", code, line, kSiteFile);
}

} // namespace

File::File(std::int32_t fd, IUnknown* port, std::uint32_t timeout, std::uint8_t subsysId)
    : FileBase(port, timeout, subsysId)
    , isOpen_(true)
    , fd_(fd)
{}

File::File(Platform::ComPtr<IDiagPort> port, std::uint32_t timeout, std::uint8_t subsysId)
    : FileBase(std::move(port), timeout, subsysId)
    , isOpen_(false)
    , fd_(0)
{}

File::~File()
{
    if (isOpen_) {
        try {
            CEFSClose(port_.get(), timeout_, subsysId_).Execute(fd_);
        } catch (...) {
            // The descriptor is gone from our side either way.
        }
        isOpen_ = false;
    }
}

void File::Open(const std::u16string& path, std::uint32_t oflag, std::uint32_t mode)
{
    if (isOpen_) {
        fail(EFSERR_ALREADY_OPEN, kOpenAlreadyOpenLine);
    }
    const System::BasicPath<Marl::Efs::PathTraits> devicePath(path);
    fd_ = Diag::Efs::Open(port_.get(), timeout_, subsysId_).Execute(devicePath.path(), oflag, mode);
    isOpen_ = true;
}

std::uint32_t File::Write(const std::uint8_t* data, std::uint32_t count,
                          Marl::Efs::EFSFileProgress* progress)
{
    if (!isOpen_) {
        fail(EFSERR_WRITE_NOT_OPEN, kWriteNotOpenLine);
    }
    CEFSWrite write(port_.get(), timeout_, subsysId_);
    std::uint32_t done = 0;
    std::uint32_t remaining = count;
    for (;;) {
        const std::uint32_t chunk = std::min(CEFSWrite::GetMaxData(), remaining);
        const std::uint32_t put = write.Execute(data + done, fd_, chunk, position_);
        // A handset that claims more than it was sent would move the position
        // past bytes it never had: the response is malformed.
        if (put > chunk) {
            throw CEFSException("EFS2_DIAG_WRITE", EFSERR_BAD_RESPONSE, kWriteCountLine, kSiteFile);
        }
        position_ += put;
        remaining -= put;
        done += put;
        if (progress != nullptr) {
            progress->FileWriteProgress(transferred_ + done, total_, Platform::currentThreadId());
        }
        if (put != CEFSWrite::GetMaxData() || remaining == 0) {
            break;
        }
    }
    transferred_ += done;
    return done;
}

std::uint32_t File::Read(std::uint8_t* buffer, std::uint32_t count)
{
    if (!isOpen_) {
        fail(EFSERR_READ_NOT_OPEN, kReadNotOpenLine);
    }
    CEFSRead read(port_.get(), timeout_, subsysId_);
    std::uint32_t done = 0;
    std::uint32_t remaining = count;
    for (;;) {
        const std::uint32_t chunk = std::min(CEFSRead::GetMaxData(), remaining);
        std::uint32_t got = 0;
        for (int attempt = 1;; ++attempt) {
            try {
                got = read.Execute(buffer + done, fd_, chunk, position_);
                break;
            } catch (const CEFSException& e) {
                // The handset answered for another offset, usually a late
                // answer to an earlier packet: ask again after a pause.
                if (e.GetCode() != EFSERR_READ_OFFSET || attempt == kReadAttempts) {
                    throw;
                }
                writePortLogNoThrow(port_.get(), kOffsetMismatchLogLine);
                Platform::sleepMilliseconds(timeout_);
            }
        }
        position_ += got;
        done += got;
        remaining -= got;
        if (got != CEFSRead::GetMaxData() || remaining == 0) {
            return done;
        }
    }
}

std::uint32_t File::Seek(std::uint32_t offset, std::uint32_t origin)
{
    if (!isOpen_) {
        fail(EFSERR_READ_NOT_OPEN, kSeekNotOpenLine);
    }
    std::uint32_t target = position_;
    switch (origin) {
    case SeekSet:
        target = offset;
        break;
    case SeekCurrent:
        target = position_ + offset;
        break;
    case SeekEnd:
        target = Size() + offset;
        break;
    default:
        break;
    }
    if (target == position_) {
        return target;
    }
    // Nothing is read: the handset only gets to refuse the offset.
    CEFSRead(port_.get(), timeout_, subsysId_).Execute(nullptr, fd_, 0, target);
    position_ = target;
    return target;
}

std::uint32_t File::Size()
{
    return sizeFromStat();
}

void File::Attach(std::int32_t fd)
{
    if (isOpen_) {
        fail(EFSERR_ATTACH_OPEN, kAttachOpenLine);
    }
    fd_ = fd;
    isOpen_ = true;
}

std::int32_t File::Detach()
{
    if (!isOpen_) {
        fail(EFSERR_DETACH_NOT_OPEN, kDetachNotOpenLine);
    }
    isOpen_ = false;
    return fd_;
}

void File::Stat(std::uint32_t* mode, std::uint32_t* size, std::uint32_t* nlink,
                std::uint32_t* atime, std::uint32_t* mtime, std::uint32_t* ctime)
{
    if (!isOpen_) {
        fail(EFSERR_STAT_NOT_OPEN, kStatNotOpenLine);
    }
    std::uint32_t values[6] = {};
    CEFSFStat(port_.get(), timeout_, subsysId_)
        .Execute(fd_, values[0], values[1], values[2], values[3], values[4], values[5]);
    storeStat(values, mode, size, nlink, atime, mtime, ctime);
}

} // namespace Efs
