#include "emulator/FileSystem.h"

#include "diag/Efs2.h"
#include "lang/Transcode.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace Emulator {

namespace {

constexpr std::uint32_t kPermissionMask = 07777;
constexpr std::uint32_t kWriteBits = 0222;

std::uint32_t systemTime()
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
    return static_cast<std::uint32_t>(std::clamp<long long>(seconds, 0, 0xFFFFFFFFLL));
}

// The components of a path after "", "." and ".." have had their say.
std::vector<std::string> splitPath(std::string_view path)
{
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        const std::string_view name = path.substr(start, end - start);
        if (name == "..") {
            if (!names.empty()) {
                names.pop_back();
            }
        } else if (!name.empty() && name != ".") {
            names.emplace_back(name);
        }
        start = end + 1;
    }
    return names;
}

} // namespace

Node::Node(std::uint32_t nodeMode, std::uint32_t time, std::shared_ptr<std::uint64_t> storedBytes)
    : mode(nodeMode)
    , accessTime(time)
    , modificationTime(time)
    , creationTime(time)
    , storedBytes_(std::move(storedBytes))
{}

Node::~Node()
{
    *storedBytes_ -= data_.size();
}

bool Node::isDirectory() const
{
    return Diag::Efs2::isDirectoryMode(mode);
}

// Where a path leads: the directory that holds (or would hold) its last name,
// and the node of that name when it exists. The root has no parent.
struct FileSystem::Resolved {
    std::uint32_t error = kSuccess;
    std::vector<std::string> names;
    NodePtr parent;
    NodePtr node;
    bool directoryOnly = false; // the path ends in "/"
};

FileSystem::FileSystem(const Limits& limits, Clock clock)
    : limits_(limits)
    , clock_(std::move(clock))
    , storedBytes_(std::make_shared<std::uint64_t>(0))
    , root_(makeNode(Diag::Efs2::kModeDirectory | 0777, now()))
{}

FileSystem::FileSystem(FileSystem&&) noexcept = default;
FileSystem& FileSystem::operator=(FileSystem&&) noexcept = default;
FileSystem::~FileSystem() = default;

void FileSystem::setClock(Clock clock)
{
    clock_ = std::move(clock);
}

std::uint32_t FileSystem::now() const
{
    return clock_ ? clock_() : systemTime();
}

NodePtr FileSystem::makeNode(std::uint32_t mode, std::uint32_t time) const
{
    return std::make_shared<Node>(mode, time, storedBytes_);
}

FileSystem::Resolved FileSystem::resolve(std::string_view path) const
{
    Resolved result;
    if (path.size() > limits_.maxPathLength) {
        result.error = kNameTooLong;
        return result;
    }
    result.names = splitPath(path);
    result.directoryOnly = !result.names.empty() && path.back() == '/';
    for (const std::string& name : result.names) {
        if (name.size() > limits_.maxNameLength) {
            result.error = kNameTooLong;
            return result;
        }
    }
    result.node = root_;
    for (std::size_t i = 0; i < result.names.size(); ++i) {
        if (!result.node->isDirectory()) {
            result.error = kNotDirectory;
            return result;
        }
        result.parent = std::move(result.node);
        const auto found = result.parent->entries.find(result.names[i]);
        if (found == result.parent->entries.end()) {
            // Only the last name may be missing: it is the one to create.
            if (i + 1 < result.names.size()) {
                result.error = kNoEntry;
            }
            return result;
        }
        result.node = found->second;
    }
    if (result.directoryOnly && !result.node->isDirectory()) {
        result.error = kNotDirectory;
    }
    return result;
}

bool FileSystem::isFull(const Node& directory) const
{
    return directory.entries.size() >= limits_.maxDirectoryEntries;
}

void FileSystem::touch(Node& directory) const
{
    directory.modificationTime = directory.creationTime = now();
}

std::uint32_t FileSystem::open(std::string_view path, std::uint32_t flags,
                               std::uint32_t permissions, NodePtr& file)
{
    const std::uint32_t access = flags & OpenFlag::kAccessMask;
    if (access == OpenFlag::kAccessMask) {
        return kInvalidArgument;
    }
    Resolved found = resolve(path);
    if (found.error != kSuccess) {
        return found.error;
    }
    if (!found.node) {
        if ((flags & OpenFlag::kCreate) == 0) {
            return kNoEntry;
        }
        if (found.directoryOnly) {
            return kIsDirectory;
        }
        if (isFull(*found.parent)) {
            return kNoSpace;
        }
        file = makeNode(Diag::Efs2::kModeRegular | (permissions & kPermissionMask), now());
        found.parent->entries.emplace(found.names.back(), file);
        touch(*found.parent);
        return kSuccess;
    }
    if ((flags & OpenFlag::kCreate) != 0 && (flags & OpenFlag::kExclusive) != 0) {
        return kExists;
    }
    if (found.node->isDirectory()) {
        return kIsDirectory;
    }
    const bool truncate = (flags & OpenFlag::kTruncate) != 0;
    if ((access != OpenFlag::kReadOnly || truncate) && (found.node->mode & kWriteBits) == 0) {
        return kAccessDenied;
    }
    if (truncate && !found.node->data_.empty()) {
        resize(*found.node, 0);
        found.node->modificationTime = found.node->creationTime = now();
    }
    file = std::move(found.node);
    return kSuccess;
}

std::uint32_t FileSystem::makeDirectory(std::string_view path, std::uint32_t permissions)
{
    Resolved found = resolve(path);
    if (found.error != kSuccess) {
        return found.error;
    }
    if (found.node) {
        return kExists;
    }
    if (isFull(*found.parent)) {
        return kNoSpace;
    }
    found.parent->entries.emplace(
        found.names.back(),
        makeNode(Diag::Efs2::kModeDirectory | (permissions & kPermissionMask), now()));
    touch(*found.parent);
    return kSuccess;
}

std::uint32_t FileSystem::removeDirectory(std::string_view path)
{
    Resolved found = resolve(path);
    if (found.error != kSuccess) {
        return found.error;
    }
    if (!found.node) {
        return kNoEntry;
    }
    if (!found.parent) {
        return kBusy;
    }
    if (!found.node->isDirectory()) {
        return kNotDirectory;
    }
    if (!found.node->entries.empty()) {
        return kNotEmpty;
    }
    found.parent->entries.erase(found.names.back());
    touch(*found.parent);
    return kSuccess;
}

std::uint32_t FileSystem::unlink(std::string_view path)
{
    Resolved found = resolve(path);
    if (found.error != kSuccess) {
        return found.error;
    }
    if (!found.node) {
        return kNoEntry;
    }
    if (found.node->isDirectory()) {
        return kIsDirectory;
    }
    found.parent->entries.erase(found.names.back());
    touch(*found.parent);
    return kSuccess;
}

std::uint32_t FileSystem::rename(std::string_view from, std::string_view to)
{
    Resolved source = resolve(from);
    if (source.error != kSuccess) {
        return source.error;
    }
    if (!source.node) {
        return kNoEntry;
    }
    Resolved target = resolve(to);
    if (target.error != kSuccess) {
        return target.error;
    }
    if (!source.parent || !target.parent) {
        return kBusy;
    }
    if (source.node == target.node) {
        return kSuccess;
    }
    const bool moveDirectory = source.node->isDirectory();
    if (moveDirectory && target.names.size() > source.names.size() &&
        std::equal(source.names.begin(), source.names.end(), target.names.begin())) {
        return kInvalidArgument; // into its own subtree
    }
    if (!moveDirectory && target.directoryOnly) {
        return kNotDirectory;
    }
    if (target.node) {
        if (moveDirectory && !target.node->isDirectory()) {
            return kNotDirectory;
        }
        if (!moveDirectory && target.node->isDirectory()) {
            return kIsDirectory;
        }
        if (!target.node->entries.empty()) {
            return kNotEmpty;
        }
    } else if (target.parent != source.parent && isFull(*target.parent)) {
        return kNoSpace;
    }
    NodePtr moved = source.node;
    source.parent->entries.erase(source.names.back());
    target.parent->entries.insert_or_assign(target.names.back(), moved);
    moved->creationTime = now();
    touch(*source.parent);
    touch(*target.parent);
    return kSuccess;
}

std::uint32_t FileSystem::lookup(std::string_view path, NodePtr& node) const
{
    Resolved found = resolve(path);
    if (found.error != kSuccess) {
        return found.error;
    }
    if (!found.node) {
        return kNoEntry;
    }
    node = std::move(found.node);
    return kSuccess;
}

std::uint32_t FileSystem::resize(Node& file, std::uint64_t size)
{
    if (size > limits_.maxFileSize) {
        return kFileTooBig;
    }
    const std::uint64_t old = file.data_.size();
    if (size > old && *storedBytes_ + (size - old) > limits_.capacity) {
        return kNoSpace;
    }
    file.data_.resize(static_cast<std::size_t>(size));
    *storedBytes_ = *storedBytes_ - old + size;
    return kSuccess;
}

std::uint32_t FileSystem::write(Node& file, std::uint64_t offset,
                                std::span<const std::uint8_t> bytes)
{
    if (bytes.empty()) {
        return kSuccess;
    }
    const std::uint64_t end = offset + bytes.size();
    if (end > file.data_.size()) {
        if (const std::uint32_t error = resize(file, end); error != kSuccess) {
            return error;
        }
    }
    std::copy(bytes.begin(), bytes.end(), file.data_.begin() + static_cast<std::ptrdiff_t>(offset));
    file.modificationTime = file.creationTime = now();
    return kSuccess;
}

std::uint32_t FileSystem::replace(Node& file, std::span<const std::uint8_t> bytes)
{
    if (bytes.size() > file.data_.size()) {
        if (const std::uint32_t error = resize(file, bytes.size()); error != kSuccess) {
            return error;
        }
    } else {
        resize(file, bytes.size());
    }
    std::copy(bytes.begin(), bytes.end(), file.data_.begin());
    file.modificationTime = file.creationTime = now();
    return kSuccess;
}

Attributes FileSystem::attributes(const Node& node)
{
    Attributes result;
    result.mode = node.mode;
    result.accessTime = node.accessTime;
    result.modificationTime = node.modificationTime;
    result.creationTime = node.creationTime;
    if (node.isDirectory()) {
        // "." and the entry in the parent, and ".." of each subdirectory.
        result.linkCount = 2 + static_cast<std::uint32_t>(std::count_if(
                                   node.entries.begin(), node.entries.end(),
                                   [](const auto& entry) { return entry.second->isDirectory(); }));
    } else {
        result.size = static_cast<std::uint32_t>(node.data_.size());
        result.linkCount = 1;
    }
    return result;
}

std::vector<std::string> FileSystem::builderNames(std::u16string_view path) const
{
    const std::string stored = Lang::Platform::transcode(path);
    std::vector<std::string> names = splitPath(stored);
    for (const std::string& name : names) {
        if (name.size() > limits_.maxNameLength) {
            throw std::invalid_argument("name longer than the handset allows: " + name);
        }
    }
    return names;
}

namespace {

// Gives a node the builder makes at `time` three times that differ, as those
// of a file a handset has had for a while: made a second before its last
// change, read a second after it.
void stampBuilt(Node& node, std::uint32_t time)
{
    node.creationTime = time == 0 ? 0 : time - 1;
    node.modificationTime = time;
    node.accessTime = time == UINT32_MAX ? time : time + 1;
}

} // namespace

// The directory `name` in `parent`, made unless it exists.
NodePtr FileSystem::builderDirectory(Node& parent, const std::string& name,
                                     std::uint32_t permissions, std::uint32_t time) const
{
    const auto found = parent.entries.find(name);
    if (found == parent.entries.end()) {
        NodePtr made = makeNode(Diag::Efs2::kModeDirectory | (permissions & kPermissionMask), time);
        stampBuilt(*made, time);
        parent.entries.emplace(name, made);
        return made;
    }
    if (!found->second->isDirectory()) {
        throw std::invalid_argument("a file is in the way: " + name);
    }
    return found->second;
}

// The directory that is to hold the last of `names`, made as needed.
NodePtr FileSystem::builderParent(const std::vector<std::string>& names, std::uint32_t time)
{
    NodePtr directory = root_;
    for (std::size_t i = 0; i + 1 < names.size(); ++i) {
        directory = builderDirectory(*directory, names[i], 0777, time);
    }
    return directory;
}

void FileSystem::addDirectory(std::u16string_view path, std::uint32_t permissions,
                              std::optional<std::uint32_t> time)
{
    const std::vector<std::string> names = builderNames(path);
    if (names.empty()) {
        return; // the root always exists
    }
    const std::uint32_t stamp = time.value_or(now());
    builderDirectory(*builderParent(names, stamp), names.back(), permissions, stamp);
}

void FileSystem::addFile(std::u16string_view path, std::span<const std::uint8_t> bytes,
                         std::uint32_t permissions, std::optional<std::uint32_t> time)
{
    const std::vector<std::string> names = builderNames(path);
    if (names.empty()) {
        throw std::invalid_argument("the root is a directory");
    }
    const std::uint32_t stamp = time.value_or(now());
    const NodePtr parent = builderParent(names, stamp);
    const auto found = parent->entries.find(names.back());
    if (found != parent->entries.end() && found->second->isDirectory()) {
        throw std::invalid_argument("a directory is in the way: " + names.back());
    }
    NodePtr file =
        found != parent->entries.end() ? found->second : makeNode(Diag::Efs2::kModeRegular, stamp);
    if (replace(*file, bytes) != kSuccess) {
        throw std::length_error("file beyond the handset's limits: " + names.back());
    }
    file->mode = Diag::Efs2::kModeRegular | (permissions & kPermissionMask);
    stampBuilt(*file, stamp);
    parent->entries.emplace(names.back(), std::move(file));
}

} // namespace Emulator
