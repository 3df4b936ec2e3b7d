// vornak-efs mount: the handset as a folder of this computer, through FUSE 3.
// Linux only.
#pragma once

#include "diag/PortInterfaces.h"
#include "platform/ComPtr.h"

#include <functional>
#include <iosfwd>

namespace VornakEfs {

struct Options;

using OpenPort = std::function<Platform::ComPtr<IDiagPort>()>;

// Mounts the handset `openPort` reaches on the options' mount point and
// serves it until it is unmounted or, in the foreground, interrupted.
// Throws Failure.
int mount(const Options& options, const OpenPort& openPort, std::ostream& err);

} // namespace VornakEfs
