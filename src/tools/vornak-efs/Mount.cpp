#include "tools/vornak-efs/Mount.h"

#include "tools/vornak-efs/CommandLine.h"
#include "tools/vornak-efs/Failure.h"

#include <ostream>

#if defined(_WIN32)

namespace VornakEfs {

int mount(const Options&, const OpenPort&, std::ostream& err)
{
    err << "vornak-efs: mount needs FUSE, which only Linux has; use get and put instead\n";
    return kUsage;
}

} // namespace VornakEfs

#else

#include "tools/vornak-efs/Text.h"
#include "tools/vornak-efs/mount/FileSystem.h"
#include "tools/vornak-efs/mount/FuseMount.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace VornakEfs {

int mount(const Options& options, const OpenPort& openPort, std::ostream& err)
{
    const std::string& typed = options.operands.front();
    std::error_code error;
    // FUSE unmounts by this path after the mount has left the current folder.
    const std::filesystem::path mountPoint = std::filesystem::canonical(hostPath(typed), error);
    if (error || !std::filesystem::is_directory(mountPoint, error)) {
        throw Failure(kHostFailure, "cannot mount on " + typed + ": " +
                                        (error ? error.message() : "it is not a folder"));
    }

    Mount::Settings settings;
    settings.timeoutMs = options.timeoutMs;
    settings.listingLimit = options.listingLimit;
    settings.subsystem = options.subsystem;
    settings.cacheLifetime =
        std::chrono::milliseconds(std::llround(options.cacheSeconds * 1000.0));
    settings.owner = ::getuid();
    settings.group = ::getgid();
    Mount::FileSystem fileSystem(openPort(), settings, &err);
    fileSystem.probe();

    Mount::MountOptions mountOptions;
    mountOptions.mountPoint = mountPoint.string();
    mountOptions.readOnly = options.readOnly;
    mountOptions.options = options.mountOptions;
    mountOptions.cacheLifetime = settings.cacheLifetime;
    const std::string shown = hostText(mountPoint);
    {
        Mount::FuseMount mounted(fileSystem, mountOptions);
        if (options.foreground) {
            err << "vornak-efs: the handset is mounted on " << shown
                << "; Ctrl-C or 'fusermount3 -u " << shown << "' ends it" << std::endl;
        } else {
            mounted.daemonize();
        }
        mounted.serve(true);
    }
    // The files the kernel never released are closed on the handset as the
    // file system goes.
    if (options.foreground) {
        err << "vornak-efs: unmounted " << shown << std::endl;
    }
    return kSuccess;
}

} // namespace VornakEfs

#endif
