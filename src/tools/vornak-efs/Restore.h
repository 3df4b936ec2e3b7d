// vornak-efs restore and diff: a backup (Backup.h) put back on the handset,
// or compared with it.
//
// restore is safe by construction. The archive is read and checked whole
// before anything changes, so a cut or malformed archive changes nothing.
// Every file, item file and link is made under a temporary name in its
// directory and renamed into place when whole, so an interrupted restore
// leaves no half-written file under a real name. Names the archive gives
// are untrusted: absolute names, "..", names beyond the handset's limits
// and entries that would be written through a link are refused one by
// one, and nothing outside the destination is written. Nothing is removed
// without --delete, and then only in the backup's own directories.
//
// The handset has no request that sets a modification time: what restore
// writes carries the handset's time, and diff does not compare times.
#pragma once

#include "tools/vornak-efs/Session.h"

#include <cstdio>
#include <iosfwd>
#include <string>

namespace VornakEfs {

struct RestoreOptions {
    std::string archive;           // the backup, a file of this computer
    std::string destination = "/"; // the handset directory the backup's root goes to
    bool dryRun = false;           // restore: say what would change, change nothing
    bool deleteExtra = false;      // restore: remove what the backup's directories lack
    std::FILE* progress = nullptr; // the terminal for the progress line; null: none
};

// Puts the backup back; what would change (--dry-run) goes to `out`,
// reports to `err`. Returns the exit code: 0 when everything was restored,
// else that of the first kind of failure (1 for refused entries).
int restore(Session& session, const RestoreOptions& options, std::ostream& out, std::ostream& err);

// diff: one line on `out` for each difference between the backup and the
// handset below the destination. Returns 0 when there is none, 1 when there
// are (or entries of the backup were refused).
int compare(Session& session, const RestoreOptions& options, std::ostream& out, std::ostream& err);

} // namespace VornakEfs
