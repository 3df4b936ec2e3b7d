// The verbs that ask the handset about itself rather than about names: info
// (the EFS2 session, the file system's limits and the flash device) and df
// (size and use of the file system).
#pragma once

#include "tools/vornak-efs/Session.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace VornakEfs {

// What HELLO, QUERY and DEV_INFO tell, in plain words. Parts the handset
// does not support are named as such; only a handset without HELLO fails.
void showInfo(Session& session, std::ostream& out);
// A table of the file systems that hold the operands (default /).
void showFileSystems(Session& session, const std::vector<std::string>& operands, std::ostream& out);

} // namespace VornakEfs
