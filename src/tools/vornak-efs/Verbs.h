// The verbs that only look at or rearrange names on the handset: ls, stat,
// rm, mkdir, rmdir and mv. Operands are handset paths as people type them.
#pragma once

#include "tools/vornak-efs/Session.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace VornakEfs {

// Lists directories (the root when no operand is given) and names files,
// with type, mode, size and modification time when `longListing`, and
// every directory below when `recursive`.
void list(Session& session, const std::vector<std::string>& operands, bool longListing,
          bool recursive, std::ostream& out);
// Shows everything the handset tells of each operand.
void showAttributes(Session& session, const std::vector<std::string>& operands, std::ostream& out);
void removeFiles(Session& session, const std::vector<std::string>& operands);
// Makes directories; with `parents`, also the missing ones above, and an
// existing directory is no failure.
void makeDirectories(Session& session, const std::vector<std::string>& operands, bool parents);
void removeDirectories(Session& session, const std::vector<std::string>& operands);
// mv SOURCE DESTINATION: into DESTINATION when it is a directory.
void move(Session& session, const std::vector<std::string>& operands);

} // namespace VornakEfs
