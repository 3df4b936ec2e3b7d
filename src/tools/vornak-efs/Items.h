// The verbs on whole handset files in one request each: item get and item
// put for the handset's item files, and md5sum, the digest the handset
// computes of a file.
#pragma once

#include "tools/vornak-efs/Session.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace VornakEfs {

// item get ITEM [FILE]: the item's bytes into FILE, or onto `out`.
void getItem(Session& session, const std::vector<std::string>& operands, std::ostream& out);
// item put FILE ITEM: FILE, at most 1024 bytes, as the item's content.
void putItem(Session& session, const std::vector<std::string>& operands);
// md5sum PATH...: "<digest>  <path>" a line each, as md5sum(1) prints them.
void showDigests(Session& session, const std::vector<std::string>& operands, std::ostream& out);
// md5sum --check FILE PATH: "<path>: OK", or "<path>: FAILED" and a Failure.
void checkDigest(Session& session, const std::string& local, const std::string& operand,
                 std::ostream& out);

} // namespace VornakEfs
