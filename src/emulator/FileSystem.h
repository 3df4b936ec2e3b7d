// The handset's file system, held in memory: directories and files with their
// modes and times, names as the handset stores them (Windows-1252 bytes).
//
// Two faces: the handset's own operations, on Windows-1252 paths, each
// answering 0 or a device error number as the handset would; and a building
// face on host text (UTF-16) that makes directories and files for seeding and
// tests, and throws when it cannot.
//
// Paths resolve from the root whether or not they begin with "/" (the handset
// has no current directory), so "" and "/" both name the root. Empty
// components and "." are skipped; ".." removes the component before it, and
// stays at the root when there is none. The class is not thread-safe: the
// handset guards it with its lock.
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

// What LSTAT, FSTAT and READDIR report of one name.
struct Attributes {
    std::uint32_t mode = 0; // type bits (0x4000 directory, 0x8000 file) and permissions
    std::uint32_t size = 0; // bytes of a file; 0 for a directory
    std::uint32_t linkCount = 0;
    std::uint32_t accessTime = 0; // seconds since 1970-01-01 00:00:00
    std::uint32_t modificationTime = 0;
    std::uint32_t creationTime = 0;
};

class Node;
using NodePtr = std::shared_ptr<Node>;

// One file or directory. A node outlives its name while a descriptor holds it.
class Node {
public:
    Node(std::uint32_t mode, std::uint32_t time, std::shared_ptr<std::uint64_t> storedBytes);
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    ~Node();

    bool isDirectory() const;
    const std::vector<std::uint8_t>& data() const { return data_; }

    std::uint32_t mode;
    std::uint32_t accessTime;
    std::uint32_t modificationTime;
    std::uint32_t creationTime;
    // The entries of a directory, in the order READDIR lists them: by name bytes.
    std::map<std::string, NodePtr, std::less<>> entries;

private:
    friend class FileSystem;
    std::vector<std::uint8_t> data_;
    std::shared_ptr<std::uint64_t> storedBytes_; // the file system's count, shared by its nodes
};

class FileSystem {
public:
    // Seconds since 1970-01-01 00:00:00, the handset's clock.
    using Clock = std::function<std::uint32_t()>;

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
    std::uint64_t storedBytes() const { return *storedBytes_; }

    // Building, on host text. Both make missing parent directories (mode 0777)
    // and leave the times of existing ones alone. They throw
    // std::invalid_argument for malformed UTF-16, a name that is too long or a
    // file in the way, and std::length_error for a file beyond the limits.

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

    // The handset's operations, on Windows-1252 paths: 0 or a device error.

    // OPEN: finds or creates the file as `flags` say.
    std::uint32_t open(std::string_view path, std::uint32_t flags, std::uint32_t permissions,
                       NodePtr& file);
    // MKDIR, RMDIR (of an empty directory) and UNLINK (of a file).
    std::uint32_t makeDirectory(std::string_view path, std::uint32_t permissions);
    std::uint32_t removeDirectory(std::string_view path);
    std::uint32_t unlink(std::string_view path);
    // Moves a name, replacing a file or an empty directory at the destination.
    std::uint32_t rename(std::string_view from, std::string_view to);
    // The node a path names.
    std::uint32_t lookup(std::string_view path, NodePtr& node) const;

    // Writes `bytes` at `offset`, filling any gap with zeros.
    std::uint32_t write(Node& file, std::uint64_t offset, std::span<const std::uint8_t> bytes);
    // Makes `bytes` the whole content of the file.
    std::uint32_t replace(Node& file, std::span<const std::uint8_t> bytes);

    // What the handset reports of `node`.
    static Attributes attributes(const Node& node);
    // The root directory, for callers that walk or change the tree themselves.
    const NodePtr& root() const { return root_; }

private:
    struct Resolved;
    Resolved resolve(std::string_view path) const;
    NodePtr makeNode(std::uint32_t mode, std::uint32_t time) const;
    std::uint32_t resize(Node& file, std::uint64_t size);
    bool isFull(const Node& directory) const;
    void touch(Node& directory) const;
    std::vector<std::string> builderNames(std::u16string_view path) const;
    NodePtr builderDirectory(Node& parent, const std::string& name, std::uint32_t permissions,
                             std::uint32_t time) const;
    NodePtr builderParent(const std::vector<std::string>& names, std::uint32_t time);

    Limits limits_;
    Clock clock_;
    std::shared_ptr<std::uint64_t> storedBytes_;
    NodePtr root_;
};

} // namespace Emulator
