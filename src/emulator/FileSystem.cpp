#include "emulator/FileSystem.h"

#include "diag/Efs2.h"
#include "lang/Transcode.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <stdexcept>

namespace Emulator {

namespace Efs2 = Diag::Efs2;

namespace {

constexpr std::uint32_t kWriteBits = 0222;
// Directories one path may pass through: a path of 1024 bytes names at most
// 512, and links cannot make a walk deeper than the handset's longest path.
constexpr std::size_t kMaxDepth = Efs2::kMaxPath / 2 + 1;
// Links being followed at once; Limits::maxSymlinkDepth is bounded by it.
constexpr std::size_t kMaxLinkNesting = 32;

std::uint32_t systemTime()
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
    return static_cast<std::uint32_t>(std::clamp<long long>(seconds, 0, 0xFFFFFFFFLL));
}

bool hasName(std::string_view text)
{
    return text.find_first_not_of('/') != std::string_view::npos;
}

// The next name of `text`, after any slashes; `text` keeps what follows it.
std::string_view takeName(std::string_view& text)
{
    text.remove_prefix(std::min(text.find_first_not_of('/'), text.size()));
    const std::size_t end = std::min(text.find('/'), text.size());
    const std::string_view name = text.substr(0, end);
    text.remove_prefix(end);
    return name;
}

// The names of a builder's path after "", "." and ".." have had their say.
std::vector<std::string> splitPath(std::string_view path)
{
    std::vector<std::string> names;
    while (hasName(path)) {
        const std::string_view name = takeName(path);
        if (name == "..") {
            if (!names.empty()) {
                names.pop_back();
            }
        } else if (name != ".") {
            names.emplace_back(name);
        }
    }
    return names;
}

} // namespace

struct Node::Counters {
    std::uint64_t bytes = 0;
    std::uint32_t nodes = 0;
};

Node::Node(std::uint32_t nodeMode, std::uint32_t time, std::shared_ptr<Counters> counters)
    : mode(nodeMode)
    , accessTime(time)
    , modificationTime(time)
    , creationTime(time)
    , counters_(std::move(counters))
{
    ++counters_->nodes;
}

Node::~Node()
{
    counters_->bytes -= data_.size();
    --counters_->nodes;
}

bool Node::isDirectory() const
{
    return Efs2::isDirectoryMode(mode);
}

bool Node::isSymbolicLink() const
{
    return Efs2::isSymbolicLinkMode(mode);
}

bool Node::isItemFile() const
{
    return Efs2::isItemFileMode(mode);
}

bool Node::holdsData() const
{
    return !isDirectory() && !isSymbolicLink();
}

// Where a path leads: the directory that holds (or would hold) its last name,
// that name, and the node of that name when it exists. The root has no
// parent; a path that ends in "." or ".." has no last name.
struct FileSystem::Resolved {
    std::uint32_t error = kSuccess;
    NodePtr parent;
    NodePtr node;
    std::string_view name;
    NodePtr nameOwner;          // the link whose target holds `name`, kept alive
    bool directoryOnly = false; // the path ends in "/"
    bool belowAncestor = false; // the `ancestor` of resolve() holds the last name
};

FileSystem::FileSystem(const Limits& limits, Clock clock)
    : limits_(limits)
    , clock_(std::move(clock))
    , counters_(std::make_shared<Node::Counters>())
    , root_(makeNode(Efs2::kModeDirectory | 0777, now()))
{
    limits_.maxSymlinkDepth = std::min<std::uint32_t>(limits_.maxSymlinkDepth, kMaxLinkNesting - 1);
}

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

std::uint64_t FileSystem::storedBytes() const
{
    return counters_->bytes;
}

Usage FileSystem::usage() const
{
    return {limits_.capacity, counters_->bytes, counters_->nodes - 1, limits_.maxNodes};
}

NodePtr FileSystem::makeNode(std::uint32_t mode, std::uint32_t time) const
{
    return std::make_shared<Node>(mode, time, counters_);
}

FileSystem::Resolved FileSystem::resolve(std::string_view path, Follow follow,
                                         const Node* ancestor) const
{
    Resolved result;
    if (path.size() > limits_.maxPathLength) {
        result.error = kNameTooLong;
        return result;
    }
    result.directoryOnly = hasName(path) && path.back() == '/';
    const bool followLast = follow == Follow::Links || result.directoryOnly;

    // The directories from the root to where the walk stands; pointers to
    // the tree's own NodePtrs, which nothing changes during the walk.
    std::array<const NodePtr*, kMaxDepth> chain;
    std::size_t top = 0;
    chain[0] = &root_;
    // The path, and above it the target of each link being followed, with
    // the link that holds it.
    std::array<std::string_view, kMaxLinkNesting> texts;
    std::array<const NodePtr*, kMaxLinkNesting> owners{};
    std::size_t level = 0;
    texts[0] = path;
    std::uint32_t linksFollowed = 0;

    const auto finish = [&](Resolved& r) -> Resolved& {
        for (std::size_t i = 0; i <= top && ancestor != nullptr; ++i) {
            r.belowAncestor = r.belowAncestor || chain[i]->get() == ancestor;
        }
        if (r.error == kSuccess && r.directoryOnly && r.node && !r.node->isDirectory()) {
            r.error = kNotDirectory;
        }
        return r;
    };

    for (;;) {
        while (level > 0 && !hasName(texts[level])) {
            --level;
        }
        if (!hasName(texts[level])) {
            break;
        }
        const std::string_view name = takeName(texts[level]);
        bool last = true;
        for (std::size_t l = 0; l <= level; ++l) {
            last = last && !hasName(texts[l]);
        }
        if (name == ".") {
            continue;
        }
        if (name == "..") {
            top -= top > 0 ? 1 : 0;
            continue;
        }
        if (name.size() > limits_.maxNameLength) {
            result.error = kNameTooLong;
            return result;
        }
        const auto& entries = (*chain[top])->entries;
        const auto found = entries.find(name);
        if (found == entries.end() || last) {
            if (found == entries.end() && !last) {
                result.error = kNoEntry;
                return result;
            }
            if (found != entries.end() && found->second->isSymbolicLink() && followLast) {
                // The last name is a link to follow: go on below.
            } else {
                result.parent = *chain[top];
                result.node = found != entries.end() ? found->second : nullptr;
                result.name = name;
                result.nameOwner = level > 0 ? *owners[level] : nullptr;
                return finish(result);
            }
        }
        const NodePtr& node = found->second;
        if (node->isSymbolicLink()) {
            if (++linksFollowed > limits_.maxSymlinkDepth) {
                result.error = kLoop;
                return result;
            }
            const std::string& target = node->linkTarget_;
            if (target.empty()) {
                result.error = kNoEntry;
                return result;
            }
            texts[++level] = target;
            owners[level] = &node;
            if (target.front() == '/') {
                top = 0;
            }
            continue;
        }
        if (!node->isDirectory()) {
            result.error = kNotDirectory;
            return result;
        }
        if (top + 1 >= chain.size()) {
            result.error = kNameTooLong;
            return result;
        }
        chain[++top] = &node;
    }
    // The walk ended on a directory: the root, or one reached by "." or "..".
    result.node = *chain[top];
    result.parent = top > 0 ? *chain[top - 1] : nullptr;
    return finish(result);
}

bool FileSystem::isFull(const Node& directory) const
{
    return directory.entries.size() >= limits_.maxDirectoryEntries ||
           counters_->nodes > limits_.maxNodes;
}

void FileSystem::touch(Node& directory) const
{
    directory.modificationTime = directory.creationTime = now();
}

// Enters `node` under the last name of `place`, which names nothing yet and
// has room: callers ask isFull before they make the node, which counts.
void FileSystem::addEntry(const Resolved& place, NodePtr node)
{
    place.parent->entries.emplace(std::string(place.name), std::move(node));
    touch(*place.parent);
}

// Whether `flags` let OPEN or PUT make the missing last name of `place`.
// Whether `found` names something that may go: it exists and is not the root.
std::uint32_t FileSystem::removable(const Resolved& found)
{
    if (found.error != kSuccess) {
        return found.error;
    }
    if (!found.node) {
        return kNoEntry;
    }
    return found.parent ? kSuccess : kBusy;
}

std::uint32_t FileSystem::creatable(const Resolved& place, std::uint32_t flags) const
{
    if ((flags & OpenFlag::kCreate) == 0) {
        return kNoEntry;
    }
    if (place.directoryOnly) {
        return kIsDirectory;
    }
    return isFull(*place.parent) ? kNoSpace : kSuccess;
}

// Whether `flags` let OPEN or PUT take the existing `node`.
std::uint32_t FileSystem::reusable(const Node& node, std::uint32_t flags)
{
    if ((flags & OpenFlag::kCreate) != 0 && (flags & OpenFlag::kExclusive) != 0) {
        return kExists;
    }
    return node.isDirectory() ? kIsDirectory : kSuccess;
}

void FileSystem::eraseEntry(const Resolved& place)
{
    auto& entries = place.parent->entries;
    entries.erase(entries.find(place.name));
}

std::uint32_t FileSystem::open(std::string_view path, std::uint32_t flags,
                               std::uint32_t permissions, NodePtr& file)
{
    const std::uint32_t access = flags & OpenFlag::kAccessMask;
    if (access == OpenFlag::kAccessMask) {
        return kInvalidArgument;
    }
    Resolved found = resolve(path, Follow::Links);
    if (found.error != kSuccess) {
        return found.error;
    }
    if (!found.node) {
        if (const std::uint32_t error = creatable(found, flags); error != kSuccess) {
            return error;
        }
        file = makeNode(Efs2::kModeRegular | (permissions & Efs2::kModePermissionMask), now());
        addEntry(found, file);
        return kSuccess;
    }
    if (const std::uint32_t error = reusable(*found.node, flags); error != kSuccess) {
        return error;
    }
    const bool truncate = (flags & OpenFlag::kTruncate) != 0;
    const bool writes = access != OpenFlag::kReadOnly || truncate;
    if (writes && found.node->isItemFile()) {
        return kInvalidArgument; // items are written whole, by PUT
    }
    if (writes && (found.node->mode & kWriteBits) == 0) {
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
    const Resolved found = resolve(path, Follow::NotLast);
    if (found.error != kSuccess) {
        return found.error;
    }
    if (found.node) {
        return kExists;
    }
    if (isFull(*found.parent)) {
        return kNoSpace;
    }
    addEntry(found,
             makeNode(Efs2::kModeDirectory | (permissions & Efs2::kModePermissionMask), now()));
    return kSuccess;
}

std::uint32_t FileSystem::removeDirectory(std::string_view path)
{
    const Resolved found = resolve(path, Follow::NotLast);
    if (const std::uint32_t error = removable(found); error != kSuccess) {
        return error;
    }
    if (!found.node->isDirectory()) {
        return kNotDirectory;
    }
    if (found.name.empty()) {
        return kInvalidArgument; // "." or ".." as the last name
    }
    if (!found.node->entries.empty()) {
        return kNotEmpty;
    }
    eraseEntry(found);
    touch(*found.parent);
    return kSuccess;
}

std::uint32_t FileSystem::unlink(std::string_view path)
{
    const Resolved found = resolve(path, Follow::NotLast);
    if (found.error != kSuccess) {
        return found.error;
    }
    if (!found.node) {
        return kNoEntry;
    }
    if (found.node->isDirectory()) {
        return kIsDirectory;
    }
    eraseEntry(found);
    touch(*found.parent);
    return kSuccess;
}

std::uint32_t FileSystem::rename(std::string_view from, std::string_view to)
{
    const Resolved source = resolve(from, Follow::NotLast);
    if (source.error != kSuccess) {
        return source.error;
    }
    if (!source.node) {
        return kNoEntry;
    }
    const Resolved target = resolve(to, Follow::NotLast, source.node.get());
    if (target.error != kSuccess) {
        return target.error;
    }
    if (!source.parent || !target.parent) {
        return kBusy;
    }
    if (source.node == target.node) {
        return kSuccess;
    }
    if (source.name.empty() || target.name.empty()) {
        return kInvalidArgument;
    }
    const bool moveDirectory = source.node->isDirectory();
    if (moveDirectory && target.belowAncestor) {
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
    } else if (target.parent != source.parent &&
               target.parent->entries.size() >= limits_.maxDirectoryEntries) {
        return kNoSpace;
    }
    NodePtr moved = source.node;
    eraseEntry(source);
    target.parent->entries.insert_or_assign(std::string(target.name), moved);
    moved->creationTime = now();
    touch(*source.parent);
    touch(*target.parent);
    return kSuccess;
}

std::uint32_t FileSystem::lookup(std::string_view path, NodePtr& node, Follow follow) const
{
    Resolved found = resolve(path, follow);
    if (found.error != kSuccess) {
        return found.error;
    }
    if (!found.node) {
        return kNoEntry;
    }
    node = std::move(found.node);
    return kSuccess;
}

std::uint32_t FileSystem::changeMode(std::string_view path, std::uint32_t mode)
{
    NodePtr node;
    if (const std::uint32_t error = lookup(path, node); error != kSuccess) {
        return error;
    }
    node->mode = (node->mode & Efs2::kModeTypeMask) | (mode & Efs2::kModePermissionMask);
    node->creationTime = now();
    return kSuccess;
}

std::uint32_t FileSystem::makeLink(std::string_view target, std::string_view path)
{
    if (target.empty()) {
        return kNoEntry;
    }
    if (target.size() > limits_.maxPathLength) {
        return kNameTooLong;
    }
    const Resolved found = resolve(path, Follow::NotLast);
    if (found.error != kSuccess) {
        return found.error;
    }
    if (found.node) {
        return kExists;
    }
    if (isFull(*found.parent)) {
        return kNoSpace;
    }
    NodePtr link = makeNode(Efs2::kModeSymbolicLink | 0777, now());
    link->linkTarget_ = target;
    addEntry(found, std::move(link));
    return kSuccess;
}

std::uint32_t FileSystem::readLink(std::string_view path, std::string_view& target) const
{
    NodePtr node;
    if (const std::uint32_t error = lookup(path, node, Follow::NotLast); error != kSuccess) {
        return error;
    }
    if (!node->isSymbolicLink()) {
        return kInvalidArgument;
    }
    target = node->linkTarget_; // the tree keeps the link
    return kSuccess;
}

std::uint32_t FileSystem::access(std::string_view path, std::uint32_t permissions) const
{
    constexpr std::uint32_t kAll = Efs2::kAccessRead | Efs2::kAccessWrite | Efs2::kAccessExecute;
    if ((permissions & ~kAll) != 0) {
        return kInvalidArgument;
    }
    NodePtr node;
    if (const std::uint32_t error = lookup(path, node); error != kSuccess) {
        return error;
    }
    const std::uint32_t owner = (node->mode >> 6) & kAll;
    return (owner & permissions) == permissions ? kSuccess : kAccessDenied;
}

std::uint32_t FileSystem::removeTree(std::string_view path)
{
    const Resolved found = resolve(path, Follow::NotLast);
    if (const std::uint32_t error = removable(found); error != kSuccess) {
        return error;
    }
    if (found.name.empty()) {
        return kInvalidArgument;
    }
    // Nodes below go with their last reference; open ones stay readable.
    eraseEntry(found);
    touch(*found.parent);
    return kSuccess;
}

std::uint32_t FileSystem::truncate(std::string_view path, std::uint64_t length)
{
    NodePtr node;
    if (const std::uint32_t error = lookup(path, node); error != kSuccess) {
        return error;
    }
    if (node->isDirectory()) {
        return kIsDirectory;
    }
    if (node->isItemFile()) {
        return kInvalidArgument;
    }
    if ((node->mode & kWriteBits) == 0) {
        return kAccessDenied;
    }
    return truncate(*node, length);
}

std::uint32_t FileSystem::putItem(std::string_view path, std::span<const std::uint8_t> bytes,
                                  std::uint32_t flags, std::uint32_t permissions)
{
    if (bytes.size() > limits_.maxItemSize) {
        return kFileTooBig;
    }
    const Resolved found = resolve(path, Follow::Links);
    if (found.error != kSuccess) {
        return found.error;
    }
    if (!found.node) {
        if (const std::uint32_t error = creatable(found, flags); error != kSuccess) {
            return error;
        }
        NodePtr item =
            makeNode(Efs2::kModeItemFile | (permissions & Efs2::kModePermissionMask), now());
        if (const std::uint32_t error = replace(*item, bytes); error != kSuccess) {
            return error;
        }
        addEntry(found, std::move(item));
        return kSuccess;
    }
    if (const std::uint32_t error = reusable(*found.node, flags); error != kSuccess) {
        return error;
    }
    if (!found.node->isItemFile()) {
        return kExists; // a file of another kind has the name
    }
    if ((found.node->mode & kWriteBits) == 0) {
        return kAccessDenied;
    }
    return replace(*found.node, bytes);
}

std::uint32_t FileSystem::resize(Node& file, std::uint64_t size)
{
    if (size > limits_.maxFileSize) {
        return kFileTooBig;
    }
    const std::uint64_t old = file.data_.size();
    if (size > old && counters_->bytes + (size - old) > limits_.capacity) {
        return kNoSpace;
    }
    file.data_.resize(static_cast<std::size_t>(size));
    counters_->bytes = counters_->bytes - old + size;
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

std::uint32_t FileSystem::truncate(Node& file, std::uint64_t length)
{
    if (length == file.data_.size()) {
        return kSuccess;
    }
    if (const std::uint32_t error = resize(file, length); error != kSuccess) {
        return error;
    }
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
    result.linkCount = 1;
    if (node.isDirectory()) {
        // "." and the entry in the parent, and ".." of each subdirectory.
        result.linkCount = 2 + static_cast<std::uint32_t>(std::count_if(
                                   node.entries.begin(), node.entries.end(),
                                   [](const auto& entry) { return entry.second->isDirectory(); }));
    } else if (node.isSymbolicLink()) {
        result.size = static_cast<std::uint32_t>(node.linkTarget_.size());
    } else {
        result.size = static_cast<std::uint32_t>(node.data_.size());
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
        NodePtr made =
            makeNode(Efs2::kModeDirectory | (permissions & Efs2::kModePermissionMask), time);
        stampBuilt(*made, time);
        parent.entries.emplace(name, made);
        return made;
    }
    if (!found->second->isDirectory()) {
        throw std::invalid_argument("something other than a directory is in the way: " + name);
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
    addData(path, bytes, Efs2::kModeRegular | (permissions & Efs2::kModePermissionMask), time);
}

void FileSystem::addItem(std::u16string_view path, std::span<const std::uint8_t> bytes,
                         std::uint32_t permissions, std::optional<std::uint32_t> time)
{
    if (bytes.size() > limits_.maxItemSize) {
        throw std::length_error("item beyond the handset's limits");
    }
    addData(path, bytes, Efs2::kModeItemFile | (permissions & Efs2::kModePermissionMask), time);
}

// Makes or replaces the file or item of `mode` at `path`; a node of the other
// kind gives way, a directory or link does not.
void FileSystem::addData(std::u16string_view path, std::span<const std::uint8_t> bytes,
                         std::uint32_t mode, std::optional<std::uint32_t> time)
{
    const std::vector<std::string> names = builderNames(path);
    if (names.empty()) {
        throw std::invalid_argument("the root is a directory");
    }
    const std::uint32_t stamp = time.value_or(now());
    const NodePtr parent = builderParent(names, stamp);
    const auto found = parent->entries.find(names.back());
    if (found != parent->entries.end() && !found->second->holdsData()) {
        throw std::invalid_argument("a directory or link is in the way: " + names.back());
    }
    NodePtr file = found != parent->entries.end() ? found->second : makeNode(mode, stamp);
    if (replace(*file, bytes) != kSuccess) {
        throw std::length_error("file beyond the handset's limits: " + names.back());
    }
    file->mode = mode;
    stampBuilt(*file, stamp);
    parent->entries.emplace(names.back(), std::move(file));
}

void FileSystem::addLink(std::u16string_view path, std::u16string_view target,
                         std::optional<std::uint32_t> time)
{
    const std::vector<std::string> names = builderNames(path);
    const std::string stored = Lang::Platform::transcode(target);
    if (names.empty()) {
        throw std::invalid_argument("the root is a directory");
    }
    if (stored.empty() || stored.size() > limits_.maxPathLength) {
        throw std::invalid_argument("a link target must have 1 to 1024 bytes");
    }
    const std::uint32_t stamp = time.value_or(now());
    const NodePtr parent = builderParent(names, stamp);
    const auto found = parent->entries.find(names.back());
    if (found != parent->entries.end() && !found->second->isSymbolicLink()) {
        throw std::invalid_argument("something other than a link is in the way: " + names.back());
    }
    NodePtr link = makeNode(Efs2::kModeSymbolicLink | 0777, stamp);
    stampBuilt(*link, stamp);
    link->linkTarget_ = stored;
    parent->entries.insert_or_assign(names.back(), std::move(link));
}

} // namespace Emulator
