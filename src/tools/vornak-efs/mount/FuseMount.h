// A FileSystem mounted on a folder through FUSE 3: the kernel's requests
// come in one at a time on the thread that serves them, and each becomes
// one operation of the file system.
#pragma once

#include "tools/vornak-efs/mount/FileSystem.h"

#include <chrono>
#include <string>
#include <vector>

struct fuse;

namespace VornakEfs::Mount {

struct MountOptions {
    std::string mountPoint;
    bool readOnly = false;
    std::vector<std::string> options; // for -o, passed on as they are: "allow_other", ...
    // How long the kernel may keep names and attributes, as the file system does.
    std::chrono::milliseconds cacheLifetime{1000};
};

class FuseMount {
public:
    // Mounts `fileSystem` at `options.mountPoint`. Throws Failure when FUSE
    // refuses an option or the mount (the reason is on the error output).
    FuseMount(FileSystem& fileSystem, const MountOptions& options);
    // Unmounts, unless someone else did.
    ~FuseMount();
    FuseMount(const FuseMount&) = delete;
    FuseMount& operator=(const FuseMount&) = delete;

    // Goes on in the background, as a daemon, and returns there; the
    // calling process exits with 0.
    void daemonize();
    // Serves the kernel's requests until the mount is unmounted
    // (fusermount3 -u, umount) or, with `catchSignals`, until SIGINT,
    // SIGTERM or SIGHUP. Returns the signal that ended it, or 0.
    int serve(bool catchSignals);

    // What the kernel's requests reach.
    struct Served {
        FileSystem* fileSystem;
        double cacheSeconds;
    };

private:
    Served served_;
    fuse* fuse_ = nullptr;
};

} // namespace VornakEfs::Mount
