// vornak-efs mount: the handset as a folder of this computer, through FUSE 3.
// Linux only.
#pragma once

#include <iosfwd>

namespace VornakEfs {

struct Options;

// Mounts the handset the options name on their mount point and serves it
// until it is unmounted or, in the foreground, interrupted. Throws Failure.
int mount(const Options& options, std::ostream& err);

} // namespace VornakEfs
