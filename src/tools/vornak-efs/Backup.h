// vornak-efs backup: whole handset trees into one archive (Archive.h) with
// every name, mode, modification time, link, empty directory and item
// file, so that restore gives the same handset back.
//
// It lists first, so the totals are known, then reads, sending the least
// the protocol allows: beyond the listings, per file OPEN, the READs up to
// the first short one and CLOSE; per link READLINK; per item file GET; and
// per PATH named one LSTAT (and for a file one FSTAT), since no listing
// gives those. A name it cannot read is reported and left out, the backup
// goes on, and at the end it says what is missing and fails.
#pragma once

#include "tools/vornak-efs/Session.h"

#include <cstdio>
#include <iosfwd>
#include <string>
#include <vector>

namespace VornakEfs {

struct BackupOptions {
    std::vector<std::string> paths; // handset paths as typed; the root when none
    std::string output;             // the archive, a file of this computer
    bool verify = false;            // check each file against the handset's MD5SUM
    std::FILE* progress = nullptr;  // the terminal for the progress line; null: none
};

// Runs a backup; reports on `err`. Returns the exit code: 0 when everything
// is in the archive, else that of the first kind of failure met. Throws
// Failure when the archive cannot be written or Ctrl-C was pressed (and
// then leaves no archive under its name).
int backup(Session& session, const BackupOptions& options, std::ostream& err);

} // namespace VornakEfs
