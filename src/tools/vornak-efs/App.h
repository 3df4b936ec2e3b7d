// vornak-efs as a whole: the command line in, the verb run, the exit code out.
#pragma once

#include "diag/PortInterfaces.h"
#include "platform/ComPtr.h"

#include <cstdio>
#include <iosfwd>
#include <string>
#include <vector>

namespace VornakEfs {

// Runs one invocation. `arguments` are UTF-8 with the program's name first;
// listings go to `out`, messages to `err`, progress bars to `terminal` when
// it is not null. Returns the exit code.
int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
        std::FILE* terminal);

// As run, but the verb reaches the handset through `port`, whichever handset
// the arguments name: for tests that bring a handset with faults queued.
int runOn(Platform::ComPtr<IDiagPort> port, const std::vector<std::string>& arguments,
          std::ostream& out, std::ostream& err, std::FILE* terminal);

} // namespace VornakEfs
