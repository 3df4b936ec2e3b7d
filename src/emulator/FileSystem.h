// The handset's file system, held in memory: directories, files, item files
// and symbolic links with their modes and times, names as the handset stores
// them (Windows-1252 bytes), and a capacity that the files' bytes fill.
//
// Two faces: the handset's own operations, on Windows-1252 paths, each
// answering 0 or a device error number as the handset would; and a building
// face on host text (UTF-16) that makes directories, files and links for
// seeding and tests, and throws when it cannot.
//
// Paths resolve from the root whether or not they begin with "/" (the handset
// has no current directory), so "" and "/" both name the root. Empty
// components and "." are skipped; ".." goes to the directory above, and stays
// at the root when there is none. Symbolic links are followed wherever they
// stand in a path, a relative target from the link's directory, except as
// the last name of the operations that act on a link itself (LSTAT,
// READLINK, UNLINK, RENAME, SYMLINK, DELTREE), and at most
// Limits::maxSymlinkDepth of them in one path (ELOOP beyond). Resolving a
// path allocates nothing.
//
// The class is not thread-safe: the handset guards it with its lock.
#pragma once

#include "diag/DeviceError.h"
#include "diag/Efs2.h"
#include "emulator/Limits.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace Emulator {

// The emulator speaks the handset's own error numbers and open flags.
using enum Diag::Efs2::DeviceError;

namespace OpenFlag = Diag::Efs2::OpenFlag;

// What STAT, LSTAT, FSTAT and READDIR report of one name.
struct Attributes {
    std::uint32_t mode = 0; // type bits and permissions
    std::uint32_t size = 0; // bytes of a file or item, of a link's target; 0 for a directory
    std::uint32_t linkCount = 0;
    std::uint32_t accessTime = 0; // seconds since 1970-01-01 00:00:00
    std::uint32_t modificationTime = 0;
    std::uint32_t creationTime = 0;
};

// What STATFS and DEV_INFO report of the whole file system.
struct Usage {
    std::uint64_t capacity = 0;    // bytes all files may hold
    std::uint64_t storedBytes = 0; // bytes they hold, those unlinked but still open included
    std::uint32_t nodes = 0;       // names of every kind below the root
    std::uint32_t maxNodes = 0;
};

class Node;
using NodePtr = std::shared_ptr<Node>;

// One directory, file, item file or symbolic link. A node outlives its name
// while a descriptor holds it.
class Node {
public:
    struct Counters; // the file system's, shared by its nodes
    Node(std::uint32_t mode, std::uint32_t time, std::shared_ptr<Counters> counters);
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    ~Node();

    bool isDirectory() const;
    bool isSymbolicLink() const;
    bool isItemFile() const;
    // A file or an item file: a node with bytes.
    bool holdsData() const;
    const std::vector<std::uint8_t>& data() const { return data_; }
    // The target of a symbolic link, as it was given.
    const std::string& linkTarget() const { return linkTarget_; }

    std::uint32_t mode;
    std::uint32_t accessTime;
    std::uint32_t modificationTime;
    std::uint32_t creationTime;
    // The entries of a directory, in the order READDIR lists them: by name bytes.
    std::map<std::string, NodePtr, std::less<>> entries;

private:
    friend class FileSystem;
    std::vector<std::uint8_t> data_;
    std::string linkTarget_;
    std::shared_ptr<Counters> counters_;
};

class FileSystem {
public:
    // Seconds since 1970-01-01 00:00:00, the handset's clock.
    using Clock = std::function<std::uint32_t()>;
    // Whether the last name of a path that is a symbolic link is followed.
    enum class Follow { Links, NotLast };

    // An empty root directory. Without a clock the handset keeps the host's time.
    explicit FileSystem(const Limits& limits = Limits(), Clock clock = Clock());
    FileSystem(FileSystem&&) noexcept;
    FileSystem& operator=(FileSystem&&) noexcept;
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;
    ~FileSystem();

    const Limits& limits() const { return limits_; }
    // From now on times come from `clock`; an empty one means the host's time.
    void setClock(Clock clock);
    // The handset's time now.
    std::uint32_t now() const;
    // Bytes held by all files, those unlinked but still open included.
    std::uint64_t storedBytes() const;
    Usage usage() const;

    // Building, on host text. They make missing parent directories (mode
    // 0777) and leave the times of existing ones alone. They throw
    // std::invalid_argument for malformed UTF-16, a name that is too long or
    // something else in the way, and std::length_error for a file beyond the
    // limits.

    // The times of what they make are those of a node a handset has had for a
    // while, so that the three can be told apart: modified at `time` (else
    // now), made a second before and read a second after.

    // Makes the directory unless it exists.
    void addDirectory(std::u16string_view path, std::uint32_t permissions = 0777,
                      std::optional<std::uint32_t> time = std::nullopt);
    // Makes or replaces the file.
    void addFile(std::u16string_view path, std::span<const std::uint8_t> bytes,
                 std::uint32_t permissions = 0666,
                 std::optional<std::uint32_t> time = std::nullopt);
    // Makes or replaces the item file.
    void addItem(std::u16string_view path, std::span<const std::uint8_t> bytes,
                 std::uint32_t permissions = 0666,
                 std::optional<std::uint32_t> time = std::nullopt);
    // Makes the symbolic link `path` to `target` (kept as given, relative or
    // absolute); a name in the way must be a link, which it replaces.
    void addLink(std::u16string_view path, std::u16string_view target,
                 std::optional<std::uint32_t> time = std::nullopt);

    // The handset's operations, on Windows-1252 paths: 0 or a device error.

    // OPEN: finds or creates the file as `flags` say; an item file opens for
    // reading only.
    std::uint32_t open(std::string_view path, std::uint32_t flags, std::uint32_t permissions,
                       NodePtr& file);
    // MKDIR, RMDIR (of an empty directory) and UNLINK (of anything else).
    std::uint32_t makeDirectory(std::string_view path, std::uint32_t permissions);
    std::uint32_t removeDirectory(std::string_view path);
    std::uint32_t unlink(std::string_view path);
    // Moves a name, replacing a file or an empty directory at the destination.
    std::uint32_t rename(std::string_view from, std::string_view to);
    // The node a path names.
    std::uint32_t lookup(std::string_view path, NodePtr& node, Follow follow = Follow::Links) const;
    // CHMOD: the permission bits of `mode`; the type stays.
    std::uint32_t changeMode(std::string_view path, std::uint32_t mode);
    // SYMLINK: a new name for nothing but `target`.
    std::uint32_t makeLink(std::string_view target, std::string_view path);
    // READLINK: the target of the link `path` (valid while the link lives).
    std::uint32_t readLink(std::string_view path, std::string_view& target) const;
    // ACCESS: whether `path` exists and its owner may do what `permissions`
    // (4 read, 2 write, 1 execute, 0 nothing) asks.
    std::uint32_t access(std::string_view path, std::uint32_t permissions) const;
    // DELTREE: a directory and all below it, or any other name alone.
    std::uint32_t removeTree(std::string_view path);
    // TRUNCATE: the file `path` cut or filled with zeros to `length` bytes.
    std::uint32_t truncate(std::string_view path, std::uint64_t length);
    // PUT: makes `bytes` the whole content of the item file `path`, created
    // with `permissions` when `flags` say so.
    std::uint32_t putItem(std::string_view path, std::span<const std::uint8_t> bytes,
                          std::uint32_t flags, std::uint32_t permissions);

    // Writes `bytes` at `offset`, filling any gap with zeros.
    std::uint32_t write(Node& file, std::uint64_t offset, std::span<const std::uint8_t> bytes);
    // Makes `bytes` the whole content of the file.
    std::uint32_t replace(Node& file, std::span<const std::uint8_t> bytes);
    // Cuts or fills the file to `length` bytes.
    std::uint32_t truncate(Node& file, std::uint64_t length);

    // What the handset reports of `node`.
    static Attributes attributes(const Node& node);
    // The root directory, for callers that walk or change the tree themselves.
    const NodePtr& root() const { return root_; }

private:
    struct Resolved;
    Resolved resolve(std::string_view path, Follow follow, const Node* ancestor = nullptr) const;
    NodePtr makeNode(std::uint32_t mode, std::uint32_t time) const;
    std::uint32_t resize(Node& file, std::uint64_t size);
    bool isFull(const Node& directory) const;
    void touch(Node& directory) const;
    std::uint32_t creatable(const Resolved& place, std::uint32_t flags) const;
    static std::uint32_t reusable(const Node& node, std::uint32_t flags);
    static std::uint32_t removable(const Resolved& found);
    void addEntry(const Resolved& place, NodePtr node);
    static void eraseEntry(const Resolved& place);
    std::vector<std::string> builderNames(std::u16string_view path) const;
    NodePtr builderDirectory(Node& parent, const std::string& name, std::uint32_t permissions,
                             std::uint32_t time) const;
    NodePtr builderParent(const std::vector<std::string>& names, std::uint32_t time);
    void addData(std::u16string_view path, std::span<const std::uint8_t> bytes, std::uint32_t mode,
                 std::optional<std::uint32_t> time);

    Limits limits_;
    Clock clock_;
    std::shared_ptr<Node::Counters> counters_;
    NodePtr root_;
};

} // namespace Emulator
