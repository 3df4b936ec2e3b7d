#include "tools/vornak-efs/mount/FuseMount.h"

#include "tools/vornak-efs/Failure.h"

#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <string>

namespace VornakEfs::Mount {

namespace {

// The handset's names under the mount's kind and source, as mount(8) shows them.
constexpr const char* kMountOptions = "fsname=vornak-efs,subtype=vornak-efs,default_permissions";

FuseMount::Served& served()
{
    return *static_cast<FuseMount::Served*>(fuse_get_context()->private_data);
}

FileSystem& fileSystem()
{
    return *served().fileSystem;
}

FileSystem::Handle handleOf(const fuse_file_info* info)
{
    return info != nullptr ? info->fh : 0;
}

// The answer to the kernel's first request: how long names and attributes
// may be kept, and how listings come.
void* start(fuse_conn_info* connection, fuse_config* config)
{
    const double seconds = served().cacheSeconds;
    config->entry_timeout = seconds;
    config->attr_timeout = seconds;
    config->negative_timeout = seconds;
    // The kernel does not keep a file's pages once it is closed: the
    // handset may change it behind the mount.
    config->kernel_cache = 0;
    // Names removed while open go at once, as on the handset, rather than
    // being renamed out of sight first.
    config->hard_remove = 1;
    // Every listing brings the attributes of its names, so that `ls -l` or
    // `cp -r` look up nothing more.
    if ((connection->capable & FUSE_CAP_READDIRPLUS) != 0) {
        connection->want |= FUSE_CAP_READDIRPLUS;
        connection->want &= ~static_cast<unsigned>(FUSE_CAP_READDIRPLUS_AUTO);
    }
    return fuse_get_context()->private_data;
}

int getAttributes(const char* path, struct stat* attributes, fuse_file_info* info)
{
    return fileSystem().getAttributes(path, *attributes, handleOf(info));
}

int openDirectory(const char* path, fuse_file_info* info)
{
    return fileSystem().openDirectory(path, info->fh);
}

int readDirectory(const char*, void* buffer, fuse_fill_dir_t fill, off_t offset,
                  fuse_file_info* info, fuse_readdir_flags flags)
{
    const std::vector<DirectoryEntry>* entries = fileSystem().entries(info->fh);
    if (entries == nullptr) {
        return -EBADF;
    }
    const auto plus = (flags & FUSE_READDIR_PLUS) != 0 ? FUSE_FILL_DIR_PLUS : fuse_fill_dir_flags{};
    // Offsets count from 1: "." and "..", then the handset's names.
    // The dots are not looked up; readdir(3) skips entries of inode 0.
    struct stat directory {};
    directory.st_mode = S_IFDIR;
    directory.st_ino = 1;
    const auto count = static_cast<off_t>(entries->size()) + 2;
    for (off_t at = offset; at < count; ++at) {
        const char* name = at == 0 ? "." : "..";
        const struct stat* attributes = &directory;
        if (at >= 2) {
            const DirectoryEntry& entry = (*entries)[static_cast<std::size_t>(at - 2)];
            name = entry.name.c_str();
            attributes = &entry.attributes;
        }
        if (fill(buffer, name, attributes, at + 1, plus) != 0) {
            break; // the kernel's buffer is full; it asks again from here
        }
    }
    return 0;
}

int releaseDirectory(const char*, fuse_file_info* info)
{
    return fileSystem().releaseDirectory(info->fh);
}

int open(const char* path, fuse_file_info* info)
{
    return fileSystem().open(path, info->flags, info->fh);
}

int create(const char* path, mode_t mode, fuse_file_info* info)
{
    return fileSystem().create(path, mode, info->flags, info->fh);
}

int read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* info)
{
    return fileSystem().read(info->fh, buffer, size, offset);
}

int write(const char*, const char* data, size_t size, off_t offset, fuse_file_info* info)
{
    return fileSystem().write(info->fh, data, size, offset);
}

int release(const char*, fuse_file_info* info)
{
    return fileSystem().release(info->fh);
}

int truncate(const char* path, off_t length, fuse_file_info* info)
{
    return fileSystem().truncate(path, length, handleOf(info));
}

int unlink(const char* path)
{
    return fileSystem().unlink(path);
}

int makeDirectory(const char* path, mode_t mode)
{
    return fileSystem().makeDirectory(path, mode);
}

int removeDirectory(const char* path)
{
    return fileSystem().removeDirectory(path);
}

int rename(const char* from, const char* to, unsigned int flags)
{
    return fileSystem().rename(from, to, flags);
}

int changeMode(const char* path, mode_t mode, fuse_file_info*)
{
    return fileSystem().changeMode(path, mode);
}

int changeOwner(const char* path, uid_t owner, gid_t group, fuse_file_info*)
{
    return fileSystem().changeOwner(path, owner, group);
}

int makeLink(const char* target, const char* link)
{
    return fileSystem().makeLink(target, link);
}

int readLink(const char* path, char* buffer, size_t size)
{
    return fileSystem().readLink(path, buffer, size);
}

int fileSystemStatus(const char* path, struct statvfs* status)
{
    return fileSystem().fileSystemStatus(path, *status);
}

int setTimes(const char* path, const struct timespec times[2], fuse_file_info*)
{
    return fileSystem().setTimes(path, times);
}

fuse_operations operations()
{
    fuse_operations table{};
    table.init = start;
    table.getattr = getAttributes;
    table.opendir = openDirectory;
    table.readdir = readDirectory;
    table.releasedir = releaseDirectory;
    table.open = open;
    table.create = create;
    table.read = read;
    table.write = write;
    table.release = release;
    table.truncate = truncate;
    table.unlink = unlink;
    table.mkdir = makeDirectory;
    table.rmdir = removeDirectory;
    table.rename = rename;
    table.chmod = changeMode;
    table.chown = changeOwner;
    table.symlink = makeLink;
    table.readlink = readLink;
    table.statfs = fileSystemStatus;
    table.utimens = setTimes;
    return table;
}

// fuse_args that own their strings, freed however the mount goes.
struct Arguments {
    fuse_args args = FUSE_ARGS_INIT(0, nullptr);
    ~Arguments() { fuse_opt_free_args(&args); }
    void add(const std::string& argument)
    {
        if (fuse_opt_add_arg(&args, argument.c_str()) != 0) {
            throw std::bad_alloc();
        }
    }
};

} // namespace

FuseMount::FuseMount(FileSystem& fileSystem, const MountOptions& options)
    : served_{&fileSystem, std::chrono::duration<double>(options.cacheLifetime).count()}
{
    Arguments arguments;
    arguments.add("vornak-efs");
    arguments.add("-o");
    arguments.add(kMountOptions);
    if (options.readOnly) {
        arguments.add("-o");
        arguments.add("ro");
    }
    for (const std::string& option : options.options) {
        arguments.add("-o");
        arguments.add(option);
    }
    const fuse_operations table = operations();
    fuse_ = fuse_new(&arguments.args, &table, sizeof table, &served_);
    if (fuse_ == nullptr) {
        throw Failure(kUsage, "FUSE refused the mount options");
    }
    if (fuse_mount(fuse_, options.mountPoint.c_str()) != 0) {
        fuse_destroy(fuse_);
        fuse_ = nullptr;
        throw Failure(kHostFailure, "cannot mount the handset on " + options.mountPoint);
    }
}

FuseMount::~FuseMount()
{
    fuse_unmount(fuse_);
    fuse_destroy(fuse_);
}

void FuseMount::daemonize()
{
    fuse_daemonize(0);
}

int FuseMount::serve(bool catchSignals)
{
    fuse_session* session = fuse_get_session(fuse_);
    if (catchSignals && fuse_set_signal_handlers(session) != 0) {
        throw Failure(kHostFailure, "cannot catch the signals that end the mount");
    }
    const int result = fuse_loop(fuse_);
    if (catchSignals) {
        fuse_remove_signal_handlers(session);
    }
    if (result < 0) {
        throw Failure(kHostFailure, std::string("the mount failed: ") + std::strerror(-result));
    }
    return result;
}

} // namespace VornakEfs::Mount
