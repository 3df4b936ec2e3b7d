#include "tools/vornak-efs/StagedFile.h"

#include "tools/vornak-efs/Failure.h"
#include "tools/vornak-efs/Text.h"

#include <algorithm>
#include <cerrno>
#include <random>
#include <string>
#include <system_error>

#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

namespace VornakEfs {

namespace fs = std::filesystem;

namespace {

constexpr int kAttempts = 100;

[[noreturn]] void hostFailure(const std::string& what, const fs::path& path, int error)
{
    throw Failure(kHostFailure, "cannot " + what + " " + hostText(path) + ": " +
                                    std::generic_category().message(error));
}

// Creates `path` for writing; fails when a file of that name exists.
int createNew(const fs::path& path)
{
#if defined(_WIN32)
    return ::_wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                    _S_IREAD | _S_IWRITE);
#else
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#endif
}

int writeSome(int fd, const std::uint8_t* bytes, std::size_t count)
{
#if defined(_WIN32)
    return ::_write(fd, bytes, static_cast<unsigned>(std::min<std::size_t>(count, 1u << 30)));
#else
    return static_cast<int>(::write(fd, bytes, std::min<std::size_t>(count, 1u << 30)));
#endif
}

int closeFile(int fd)
{
#if defined(_WIN32)
    return ::_close(fd);
#else
    return ::close(fd);
#endif
}

// Whether a file at `path` may be replaced: it is missing, or writable to us,
// as a file written in place would have to be.
bool replaceable(const fs::path& path)
{
#if defined(_WIN32)
    return ::_waccess(path.c_str(), 2) == 0 || errno == ENOENT;
#else
    return ::access(path.c_str(), W_OK) == 0 || errno == ENOENT;
#endif
}

} // namespace

StagedFile::StagedFile(fs::path target)
    : target_(std::move(target))
{
    if (!replaceable(target_)) {
        hostFailure("write", target_, errno);
    }
    std::random_device random;
    const fs::path folder = target_.parent_path();
    for (int attempt = 0; attempt < kAttempts && fd_ < 0; ++attempt) {
        const std::string suffix = ".vornak-" + std::to_string(random() % 1000000000u);
        temporary_ = folder / fs::path("." + hostText(target_.filename()) + suffix);
        fd_ = createNew(temporary_);
        if (fd_ < 0 && errno != EEXIST) {
            hostFailure("write", target_, errno);
        }
    }
    if (fd_ < 0) {
        hostFailure("write", target_, EEXIST);
    }
}

StagedFile::~StagedFile()
{
    if (!committed_) {
        close();
        std::error_code ignored;
        fs::remove(temporary_, ignored);
    }
}

void StagedFile::write(const std::uint8_t* bytes, std::size_t count)
{
    while (count > 0) {
        const int written = writeSome(fd_, bytes, count);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            hostFailure("write", target_, errno);
        }
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
}

int StagedFile::close()
{
    int error = 0;
    if (fd_ >= 0 && closeFile(fd_) != 0) {
        error = errno;
    }
    fd_ = -1;
    return error;
}

void StagedFile::commit()
{
    if (const int closing = close(); closing != 0) {
        hostFailure("write", target_, closing);
    }
    std::error_code error;
    const fs::file_status existing = fs::status(target_, error);
    if (!error && fs::is_regular_file(existing)) {
        fs::permissions(temporary_, existing.permissions(), error);
    }
    fs::rename(temporary_, target_, error);
    if (error) {
        hostFailure("write", target_, error.value());
    }
    committed_ = true;
}

} // namespace VornakEfs
