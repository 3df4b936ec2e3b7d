// vornak-efs serve: the emulated handset on a pseudo-terminal, for other
// invocations (and other programs) to reach as a serial port.
#pragma once

#include <iosfwd>

namespace VornakEfs {

struct Options;

// Serves until SIGINT or SIGTERM; prints the terminal's path as the first
// line of `out`. Returns the exit code.
int serve(const Options& options, std::ostream& out, std::ostream& err);

} // namespace VornakEfs
