// vornak-efs serve: the emulated handset on a pseudo-terminal or a TCP port,
// for other invocations (and other programs) to reach as a real handset.
#pragma once

#include <iosfwd>

namespace VornakEfs {

struct Options;

// Serves until SIGINT or SIGTERM; prints where on the first line of `out`:
// the terminal's path, or tcp:<host>:<port> with the port taken. Returns the
// exit code.
int serve(const Options& options, std::ostream& out, std::ostream& err);

} // namespace VornakEfs
