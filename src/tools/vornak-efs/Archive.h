// Backups as archives: pax (POSIX tar) files written and read through
// libarchive. Each entry holds a readable UTF-8 path and, where that path
// would not give them back, the handset's own bytes of it (ArchiveNames.h);
// an item file is a regular file marked as an item. Those marks travel as
// pax extended attributes of Vornak's own ("SCHILY.xattr.vornak.*"), which
// other tar programs list and leave alone. A backup that could not read
// everything ends with a text entry, VORNAK-MISSING.txt, that says what is
// missing, for people, and, in an attribute, for restore and diff.
//
// What an archive says is untrusted: ArchiveReader hands out entries only
// after checking their names and sizes, and tells why it refuses one.
//
// Linux only: Debian has no libarchive for the Windows builds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

struct archive_entry; // libarchive's, kept out of this header

namespace VornakEfs {

// One entry of a backup.
struct ArchiveEntry {
    enum class Kind { Directory, File, Item, Link };

    Kind kind = Kind::File;
    // Relative to the archive's root, names joined by "/"; empty for the
    // root itself (the entry "./" of a backup of "/").
    std::string path;        // readable UTF-8
    std::string handsetPath; // the handset's bytes of the same names
    std::string linkTarget;  // links: readable UTF-8
    std::string handsetLinkTarget;
    std::uint32_t permissions = 0; // the mode's permission bits (07777)
    std::uint64_t size = 0;        // bytes of a file or item
    std::uint32_t modificationTime = 0;
};

// The archive could not be read on: malformed, truncated, or not an archive.
class ArchiveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ArchiveWriter {
public:
    // Starts the archive `target` under a temporary name in its folder;
    // nothing has the target's name until commit(). Throws Failure
    // (kHostFailure) when the file cannot be made.
    explicit ArchiveWriter(std::filesystem::path target);
    // Removes the temporary file unless commit() put it in place.
    ~ArchiveWriter();
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    // Starts an entry; a file's or item's `size` bytes follow through write().
    void begin(const ArchiveEntry& entry);
    void write(const std::uint8_t* bytes, std::size_t count);
    // Ends the entry. Bytes of a file that write() did not deliver are zeros.
    void end();
    // Ends the entry and takes it out of the archive again, as if it had
    // never begun: for a file whose reading failed half-way.
    void drop();
    // Adds the list of what the backup could not read, last: handset paths
    // (bytes, relative to the archive's root) and, for people, why each is
    // missing. Restore leaves these names alone, and diff says so.
    void addMissingList(const std::vector<std::string>& handsetPaths,
                        const std::string& explanation);
    // Ends the archive and renames it to the target.
    void commit();

    const std::filesystem::path& target() const { return target_; }

private:
    struct Output;
    void check(int result, const char* what);

    std::filesystem::path target_;
    std::unique_ptr<Output> output_;
    std::uint64_t entryStart_ = 0;
    std::uint64_t remaining_ = 0; // bytes the open entry still declares
    bool inEntry_ = false;
    bool committed_ = false;
};

class ArchiveReader {
public:
    // The handset's limits that entries are checked against: bytes of one
    // name, and of a whole path below the restore's destination
    // (`destinationLength` bytes, its "/" included).
    struct Limits {
        std::size_t maxName = 0; // 0: only the path limit applies
        std::size_t maxPath = 1024;
        std::size_t destinationLength = 1;
    };

    // Reads the archive in `file`. Throws Failure (kHostFailure) when it
    // cannot be opened, ArchiveError when it is no complete tar archive.
    ArchiveReader(const std::filesystem::path& file, const Limits& limits);
    // Reads an archive held in memory (`bytes` must outlive the reader).
    ArchiveReader(std::span<const std::uint8_t> bytes, const Limits& limits);
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // One entry as the archive holds it: `entry` when it passed the checks,
    // else `refusal` says why not, in words for people ("an absolute name").
    struct Next {
        bool end = false;
        std::string shownPath; // the entry's path as the archive has it, for messages
        ArchiveEntry entry;
        std::string refusal;
        // The list of what the backup could not read, instead of an entry.
        bool isMissingList = false;
        std::vector<std::string> missing; // handset paths (bytes)
    };
    // The next entry. Throws ArchiveError when the archive is malformed or
    // ends too soon.
    Next next();
    // Up to `capacity` bytes more of the current entry's data; 0 at its end.
    // Throws ArchiveError.
    std::size_t read(std::uint8_t* buffer, std::size_t capacity);

private:
    struct Input;
    void open(std::span<const std::uint8_t> tail);
    std::string refusalOf(ArchiveEntry& entry, ::archive_entry* raw) const;
    static bool readMissingList(::archive_entry* raw, std::vector<std::string>& missing);

    Limits limits_;
    std::unique_ptr<Input> input_;
};

} // namespace VornakEfs
