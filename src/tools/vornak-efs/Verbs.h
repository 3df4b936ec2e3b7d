// The verbs that look at or change names on the handset: ls, stat, rm,
// mkdir, rmdir, mv, chmod, ln -s, readlink and truncate. Operands are handset
// paths as people type them.
#pragma once

#include "tools/vornak-efs/Session.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace VornakEfs {

// Lists directories (the root when no operand is given) and names files,
// with type, mode, size, modification time and a link's target when
// `longListing`, and every directory below when `recursive`.
void list(Session& session, const std::vector<std::string>& operands, bool longListing,
          bool recursive, std::ostream& out);
// Shows everything the handset tells of each operand.
void showAttributes(Session& session, const std::vector<std::string>& operands, std::ostream& out);
// Removes files and links; with `recursive` also directories with all they
// hold: in one request where the handset has DELTREE, name by name otherwise.
void removeFiles(Session& session, const std::vector<std::string>& operands, bool recursive);
// Makes directories; with `parents`, also the missing ones above, and an
// existing directory is no failure.
void makeDirectories(Session& session, const std::vector<std::string>& operands, bool parents);
void removeDirectories(Session& session, const std::vector<std::string>& operands);
// mv SOURCE DESTINATION: into DESTINATION when it is a directory.
void move(Session& session, const std::vector<std::string>& operands);
// chmod MODE PATH...: every name is looked up before any is changed.
void changeModes(Session& session, const std::string& mode,
                 const std::vector<std::string>& operands);
// ln -s TARGET LINK: LINK, a new name, or a directory that receives the link
// under the target's last name.
void makeLink(Session& session, const std::vector<std::string>& operands);
// readlink PATH...: each link's target, a line each.
void showLinks(Session& session, const std::vector<std::string>& operands, std::ostream& out);
// truncate -s SIZE PATH...: SIZE in bytes, or with K, M or G (1024 based).
void truncateFiles(Session& session, const std::string& size,
                   const std::vector<std::string>& operands);

} // namespace VornakEfs
