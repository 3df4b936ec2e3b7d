// A backup beside the handset as it is now: what restore and diff both
// start from. The archive is read whole first, every entry checked and
// every file's digest taken, so a malformed or cut archive is refused
// before anything is asked of the handset; then the handset's directories
// that hold the backup's names are listed (never through a link).
#pragma once

#include "platform/Md5.h"
#include "tools/vornak-efs/Archive.h"
#include "tools/vornak-efs/HandsetTree.h"
#include "tools/vornak-efs/Session.h"

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace VornakEfs {

class BackupComparison {
public:
    // One entry of the backup that passed the checks, by its path (the
    // handset's bytes, relative to the destination).
    struct Archived {
        ArchiveEntry entry;
        Platform::Md5Digest digest{};       // of a file's bytes
        std::vector<std::uint8_t> itemData; // an item file's bytes
    };
    // An entry refused, or one that may not be restored where it is.
    struct Refusal {
        std::string shownPath;
        std::string why;
    };
    struct Difference {
        enum class Kind {
            Added,     // on the handset, not in the backup
            Removed,   // in the backup, not on the handset
            Content,   // a file's or item file's bytes
            Mode,      // permission bits
            Link,      // a link's target
            Type,      // a file in one, a directory in the other, ...
            Unreadable // not in the backup, which could not read it
        };
        Kind kind;
        std::string path; // relative, the handset's bytes
        std::string was;  // Mode, Link, Type: the backup's
        std::string now;  // ... and the handset's
    };

    // Reads `archive` and lists what the handset holds below `destination`
    // (a handset path as typed) at the same names. Throws Failure: kUsage
    // for a destination that is no directory, kHostFailure for an archive
    // that cannot be read, kHandsetFailure for one that is malformed or cut
    // short, naming what was wrong.
    BackupComparison(Session& session, const std::filesystem::path& archive,
                     const std::string& destination);

    const std::filesystem::path& archivePath() const { return archive_; }
    // The destination in the handset's bytes, and a path below it.
    const std::string& destination() const { return destination_; }
    std::string handsetPathOf(const std::string& relative) const;
    // The same for messages, as people read it.
    std::string shown(const std::string& relative) const;

    const std::map<std::string, Archived>& archived() const { return archived_; }
    const std::vector<Refusal>& refused() const { return refused_; }
    // What the handset listed at `relative`, or nothing (not there, or in a
    // directory that was not listed).
    const ListedEntry* present(const std::string& relative) const;
    // Whether the destination is there at all.
    bool destinationExists() const { return destinationExists_; }

    // Why the entry at `relative` may not be restored where it is, or
    // nothing: a name above it is a link (in the backup, or on the handset
    // where the backup has no directory), so it would land wherever the
    // link points.
    std::optional<std::string> blocked(const std::string& relative) const;
    // Whether `relative` is, or lies below, a name the backup could not read.
    bool unreadable(const std::string& relative) const;

    // Every difference, in the order of the paths. Compares contents where
    // the sizes agree: files by the handset's MD5SUM (or, on a handset
    // without one, by reading them), item files by GET, links by READLINK.
    std::vector<Difference> differences();
    // The names on the handset in the backup's directories that the backup
    // does not hold, a directory before what is below it.
    std::vector<std::string> extras() const;

    // Whether the handset's content at `relative` equals the backup's entry
    // there, which must be a file or item of the same kind and size. Asks
    // the handset.
    bool sameContent(const std::string& relative, const Archived& archived);

private:
    void readArchive();
    void listHandset();
    void listBelow(const std::string& relative, const std::set<std::string>& needed);

    Session& session_;
    std::filesystem::path archive_;
    std::string destination_;
    std::map<std::string, Archived> archived_;
    std::set<std::string> archivedLinks_; // every path an entry made a link, duplicates too
    std::vector<Refusal> refused_;
    std::vector<std::string> unreadable_; // the backup's list of what it could not read
    std::map<std::string, ListedEntry> present_;
    std::set<std::string> listed_; // directories whose listing is in present_
    bool destinationExists_ = false;
    bool handsetHasMd5_ = true;
};

} // namespace VornakEfs
