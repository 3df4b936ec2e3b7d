// The handset as the operations of a POSIX file system, for the mount: each
// operation becomes the fewest EFS2 requests that carry it out, through one
// port, and answers 0 (or a count) or a negative errno, as FUSE wants.
//
// Paths are the mount's (UTF-8, absolute, as the kernel hands them over); the
// handset sees the same names in its own encoding. The handset's error
// numbers reach the caller as the same errno; a port that fails or does not
// answer gives EIO, and the next operation tries again.
//
// Not thread-safe: the mount calls it from one thread, so one request is in
// flight at a time.
#pragma once

#include "diag/PortInterfaces.h"
#include "platform/ComPtr.h"
#include "tools/vornak-efs/PortWatch.h"
#include "tools/vornak-efs/mount/AttributeCache.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <iosfwd>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace VornakEfs::Mount {

struct Settings {
    std::uint32_t timeoutMs = 5000;
    std::uint8_t subsystem = 19;
    // How long what the handset said of a name is reused; 0 asks every time.
    std::chrono::milliseconds cacheLifetime{1000};
    // A listing longer than this is a handset that never ends it.
    std::size_t listingLimit = 65536;
    // The owner every name shows; the handset has none.
    uid_t owner = 0;
    gid_t group = 0;
};

// One name of a directory as the mount lists it.
struct DirectoryEntry {
    std::string name; // UTF-8
    struct stat attributes;
};

class FileSystem {
public:
    // Failures worth telling (a port that failed, a name left out of a
    // listing) are written to `notes` when it is given.
    FileSystem(Platform::ComPtr<IDiagPort> port, const Settings& settings, std::ostream* notes);
    // Closes every file still open on the handset.
    ~FileSystem();
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;

    // An open file of the mount, by the number FUSE keeps for it.
    using Handle = std::uint64_t;

    // Asks the handset for its root, which the mount keeps for the kernel's
    // first look. Throws Failure, with the words and exit code of what went
    // wrong, when the handset does not answer as one should.
    void probe();

    // The attributes of `path`; through `open` (0 for none) when the caller
    // holds the file open.
    int getAttributes(const std::string& path, struct stat& attributes, Handle open = 0);
    // Every name of the directory `path` but "." and "..", in the handset's
    // order, with its attributes; the names a mount cannot show are left out.
    int list(const std::string& path, std::vector<DirectoryEntry>& entries);
    // The same, read whole when the directory is opened, and kept until it
    // is released: the handset keeps no directory open between requests.
    int openDirectory(const std::string& path, Handle& handle);
    const std::vector<DirectoryEntry>* entries(Handle handle) const;
    int releaseDirectory(Handle handle);

    // `flags` as open(2) takes them. The descriptor stays open on the
    // handset until release.
    int open(const std::string& path, int flags, Handle& handle);
    int create(const std::string& path, mode_t mode, int flags, Handle& handle);
    // The bytes read or written, or a negative errno.
    int read(Handle handle, char* buffer, std::size_t size, off_t offset);
    int write(Handle handle, const char* data, std::size_t size, off_t offset);
    int release(Handle handle);

    int truncate(const std::string& path, off_t length, Handle open = 0);
    int unlink(const std::string& path);
    int makeDirectory(const std::string& path, mode_t mode);
    int removeDirectory(const std::string& path);
    // `flags` as renameat2(2) takes them; the handset has none of them.
    int rename(const std::string& from, const std::string& to, unsigned flags);
    int changeMode(const std::string& path, mode_t mode);
    int changeOwner(const std::string& path, uid_t owner, gid_t group);
    int makeLink(const std::string& target, const std::string& link);
    // The target as a NUL-terminated string in `buffer`, cut to fit.
    int readLink(const std::string& path, char* buffer, std::size_t size);
    int fileSystemStatus(const std::string& path, struct statvfs& status);
    // The handset keeps its own times: only "now" can be asked of it.
    int setTimes(const std::string& path, const struct timespec times[2]);

    // Files open on the handset now.
    std::size_t openFiles() const { return files_.size(); }

private:
    class OpenFile;
    // One entry as READDIR gives it: the name in the handset's bytes.
    struct Listed {
        std::string name;
        std::uint32_t type = 0, mode = 0, size = 0;
        std::uint32_t accessTime = 0, modificationTime = 0, changeTime = 0;
    };

    // Runs `work` and answers 0, or the errno of what it threw.
    template <class Work>
    int attempt(const char* action, const std::string& path, Work&& work);
    int errnoOf(std::uint32_t code, const char* action, const std::string& path);

    AttributeCache::Known lookUp(const std::string& path);
    std::vector<Listed> readDirectory(const std::u16string& path);
    // Close a descriptor or directory handle. One the port fails to close
    // is closed before the next request, so none stays open on the handset.
    void closeFile(std::int32_t fd);
    void closeDirectory(std::uint32_t dirp);
    void closeLeftovers();
    std::uint32_t sizeOf(const std::u16string& path);
    void fill(struct stat& target, const Attributes& attributes) const;
    int openWith(const std::string& path, std::uint32_t flags, std::uint32_t mode, Handle& handle);
    OpenFile* find(Handle handle);

    Platform::ComPtr<PortWatch> watch_;
    Settings settings_;
    std::ostream* notes_;
    AttributeCache cache_;
    bool statRefused_ = false; // the handset lacks STAT: sizes come from FSTAT
    std::map<Handle, std::unique_ptr<OpenFile>> files_;
    std::map<Handle, std::vector<DirectoryEntry>> directories_;
    Handle lastHandle_ = 0;
    std::vector<std::int32_t> unclosedFiles_;
    std::vector<std::uint32_t> unclosedDirectories_;
    std::set<std::string> leftOut_; // listed names already said to be left out
};

} // namespace VornakEfs::Mount
