#include "tools/vornak-efs/Archive.h"

#include "diag/Efs2.h"
#include "tools/vornak-efs/ArchiveNames.h"
#include "tools/vornak-efs/Failure.h"
#include "tools/vornak-efs/Text.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <limits>
#include <locale.h>
#include <random>
#include <string_view>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace VornakEfs {

namespace fs = std::filesystem;

namespace {

// The pax extended attributes of Vornak's own.
constexpr const char* kHandsetPath = "vornak.path"; // the handset's bytes of the path
constexpr const char* kHandsetLink = "vornak.link"; // ... of a link's target
constexpr const char* kKind = "vornak.kind";        // "item" for an item file
constexpr const char* kMissing = "vornak.missing";  // what a backup could not read
constexpr std::string_view kItem = "item";
constexpr std::string_view kMissingList = "missing";
constexpr const char* kMissingListName = "VORNAK-MISSING.txt";

// A tar archive ends with two blocks of zeros.
constexpr std::size_t kBlock = 512;
constexpr std::size_t kEndMarker = 2 * kBlock;

[[noreturn]] void hostFailure(const std::string& what, const fs::path& path, int error)
{
    throw Failure(kHostFailure, "cannot " + what + " " + hostText(path) + ": " +
                                    std::generic_category().message(error));
}

// libarchive turns names between UTF-8 and the thread's locale: while this
// lives, the thread's locale is C.UTF-8, whatever the program's is, so that
// names go in and out as UTF-8 unchanged.
class Utf8Locale {
public:
    Utf8Locale()
        : locale_(::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr)))
    {
        if (locale_ != static_cast<locale_t>(nullptr)) {
            previous_ = ::uselocale(locale_);
        }
    }
    ~Utf8Locale()
    {
        if (locale_ != static_cast<locale_t>(nullptr)) {
            ::uselocale(previous_);
            ::freelocale(locale_);
        }
    }
    Utf8Locale(const Utf8Locale&) = delete;
    Utf8Locale& operator=(const Utf8Locale&) = delete;

private:
    locale_t locale_;
    locale_t previous_ = LC_GLOBAL_LOCALE;
};

std::string typeName(mode_t type)
{
    switch (type) {
    case AE_IFCHR:
        return "a character device";
    case AE_IFBLK:
        return "a block device";
    case AE_IFIFO:
        return "a named pipe";
    case AE_IFSOCK:
        return "a socket";
    default:
        return "an entry of an unknown type";
    }
}

// The names of a relative path, without the empty ones and ".".
std::vector<std::string_view> namesOf(std::string_view path)
{
    std::vector<std::string_view> names;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string_view::npos) {
            slash = path.size();
        }
        const std::string_view name = path.substr(start, slash - start);
        if (!name.empty() && name != ".") {
            names.push_back(name);
        }
        start = slash + 1;
    }
    return names;
}

std::vector<std::string_view> splitAll(std::string_view path)
{
    std::vector<std::string_view> names;
    for (std::size_t start = 0;;) {
        const std::size_t slash = path.find('/', start);
        names.push_back(
            path.substr(start, slash == std::string_view::npos ? slash : slash - start));
        if (slash == std::string_view::npos) {
            return names;
        }
        start = slash + 1;
    }
}

} // namespace

// The archive file being written: a temporary file beside the target,
// written without libarchive's blocking so that every byte is where the
// writer's position says, and an entry can be cut off again.
struct ArchiveWriter::Output {
    Utf8Locale locale; // first made, last gone: libarchive's whole life
    fs::path temporary;
    int fd = -1;
    std::uint64_t position = 0;
    int error = 0; // of the last failed write
    struct archive* archive = nullptr;

    static la_ssize_t writeCallback(struct archive*, void* self, const void* buffer,
                                    std::size_t length)
    {
        auto* output = static_cast<Output*>(self);
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        std::size_t left = length;
        while (left > 0) {
            const ssize_t written = ::write(output->fd, bytes, left);
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written < 0) {
                output->error = errno;
                return -1;
            }
            bytes += written;
            left -= static_cast<std::size_t>(written);
        }
        output->position += length;
        return static_cast<la_ssize_t>(length);
    }

    ~Output()
    {
        if (archive != nullptr) {
            archive_write_free(archive);
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

ArchiveWriter::ArchiveWriter(fs::path target)
    : target_(std::move(target))
    , output_(std::make_unique<Output>())
{
    std::random_device random;
    const fs::path folder = target_.parent_path().empty() ? fs::path(".") : target_.parent_path();
    for (int attempt = 0; attempt < 100 && output_->fd < 0; ++attempt) {
        output_->temporary = folder / ("." + hostText(target_.filename()) + ".vornak-" +
                                       std::to_string(random() % 1000000000u));
        output_->fd =
            ::open(output_->temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (output_->fd < 0 && errno != EEXIST) {
            hostFailure("write", target_, errno);
        }
    }
    if (output_->fd < 0) {
        hostFailure("write", target_, EEXIST);
    }
    try {
        struct archive* archive = archive_write_new();
        if (archive == nullptr) {
            throw std::bad_alloc();
        }
        output_->archive = archive;
        check(archive_write_set_format_pax_restricted(archive), "starting");
        // Attributes in the form GNU tar also reads (and lists without a word).
        check(archive_write_set_format_option(archive, "pax", "xattrheader", "SCHILY"), "starting");
        check(archive_write_set_bytes_per_block(archive, 0), "starting");
        check(archive_write_set_bytes_in_last_block(archive, 1), "starting");
        check(archive_write_open2(archive, output_.get(), nullptr, &Output::writeCallback, nullptr,
                                  nullptr),
              "starting");
    } catch (...) {
        const fs::path temporary = output_->temporary;
        output_.reset();
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw;
    }
}

ArchiveWriter::~ArchiveWriter()
{
    if (!committed_) {
        const fs::path temporary = output_->temporary;
        output_.reset();
        std::error_code ignored;
        fs::remove(temporary, ignored);
    }
}

void ArchiveWriter::check(int result, const char* what)
{
    if (result >= ARCHIVE_WARN) {
        return;
    }
    if (output_->error != 0) {
        hostFailure("write", target_, output_->error);
    }
    const char* words = archive_error_string(output_->archive);
    throw Failure(kHostFailure, std::string("cannot write ") + hostText(target_) + " (" + what +
                                    "): " + (words != nullptr ? words : "libarchive failed"));
}

void ArchiveWriter::begin(const ArchiveEntry& entry)
{
    if (inEntry_) {
        end();
    }
    struct archive_entry* header = archive_entry_new();
    if (header == nullptr) {
        throw std::bad_alloc();
    }
    const std::unique_ptr<struct archive_entry, void (*)(struct archive_entry*)> owner(
        header, archive_entry_free);
    using Kind = ArchiveEntry::Kind;
    std::string path = entry.path.empty() ? "." : entry.path;
    if (entry.kind == Kind::Directory) {
        path += '/';
    }
    archive_entry_set_pathname_utf8(header, path.c_str());
    if (ArchiveNames::handsetBytes(entry.path) != entry.handsetPath) {
        archive_entry_xattr_add_entry(header, kHandsetPath, entry.handsetPath.data(),
                                      entry.handsetPath.size());
    }
    switch (entry.kind) {
    case Kind::Directory:
        archive_entry_set_filetype(header, AE_IFDIR);
        break;
    case Kind::Item:
        archive_entry_xattr_add_entry(header, kKind, kItem.data(), kItem.size());
        [[fallthrough]];
    case Kind::File:
        archive_entry_set_filetype(header, AE_IFREG);
        archive_entry_set_size(header, static_cast<la_int64_t>(entry.size));
        break;
    case Kind::Link:
        archive_entry_set_filetype(header, AE_IFLNK);
        archive_entry_set_symlink_utf8(header, entry.linkTarget.c_str());
        if (ArchiveNames::handsetBytes(entry.linkTarget) != entry.handsetLinkTarget) {
            archive_entry_xattr_add_entry(header, kHandsetLink, entry.handsetLinkTarget.data(),
                                          entry.handsetLinkTarget.size());
        }
        break;
    }
    archive_entry_set_perm(header, static_cast<mode_t>(entry.permissions & 07777));
    archive_entry_set_mtime(header, static_cast<time_t>(entry.modificationTime), 0);
    entryStart_ = output_->position;
    check(archive_write_header(output_->archive, header), "an entry's header");
    inEntry_ = true;
    remaining_ = entry.kind == Kind::File || entry.kind == Kind::Item ? entry.size : 0;
}

void ArchiveWriter::write(const std::uint8_t* bytes, std::size_t count)
{
    count = static_cast<std::size_t>(std::min<std::uint64_t>(count, remaining_));
    while (count > 0) {
        const la_ssize_t written = archive_write_data(output_->archive, bytes, count);
        check(written < 0 ? static_cast<int>(written) : ARCHIVE_OK, "a file's bytes");
        bytes += written;
        count -= static_cast<std::size_t>(written);
        remaining_ -= static_cast<std::uint64_t>(written);
    }
}

void ArchiveWriter::end()
{
    // libarchive pads what is missing itself, but says nothing of it.
    static const std::uint8_t kZeros[kBlock] = {};
    while (remaining_ > 0) {
        write(kZeros, static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, kBlock)));
    }
    check(archive_write_finish_entry(output_->archive), "an entry's end");
    inEntry_ = false;
}

void ArchiveWriter::drop()
{
    end();
    // The entry was the last thing written: cut the file back to its start.
    if (::ftruncate(output_->fd, static_cast<off_t>(entryStart_)) != 0 ||
        ::lseek(output_->fd, static_cast<off_t>(entryStart_), SEEK_SET) < 0) {
        hostFailure("write", target_, errno);
    }
    output_->position = entryStart_;
}

void ArchiveWriter::addMissingList(const std::vector<std::string>& handsetPaths,
                                   const std::string& explanation)
{
    if (inEntry_) {
        end();
    }
    std::string paths;
    for (const std::string& path : handsetPaths) {
        paths += path;
        paths += '\0';
    }
    struct archive_entry* header = archive_entry_new();
    if (header == nullptr) {
        throw std::bad_alloc();
    }
    const std::unique_ptr<struct archive_entry, void (*)(struct archive_entry*)> owner(
        header, archive_entry_free);
    archive_entry_set_pathname_utf8(header, kMissingListName);
    archive_entry_set_filetype(header, AE_IFREG);
    archive_entry_set_perm(header, 0444);
    archive_entry_set_size(header, static_cast<la_int64_t>(explanation.size()));
    archive_entry_xattr_add_entry(header, kKind, kMissingList.data(), kMissingList.size());
    archive_entry_xattr_add_entry(header, kMissing, paths.data(), paths.size());
    check(archive_write_header(output_->archive, header), "the list of what is missing");
    inEntry_ = true;
    remaining_ = explanation.size();
    write(reinterpret_cast<const std::uint8_t*>(explanation.data()), explanation.size());
    end();
}

void ArchiveWriter::commit()
{
    if (inEntry_) {
        end();
    }
    check(archive_write_close(output_->archive), "its end");
    if (::fsync(output_->fd) != 0 || ::close(output_->fd) != 0) {
        output_->fd = -1;
        hostFailure("write", target_, errno);
    }
    output_->fd = -1;
    std::error_code error;
    fs::rename(output_->temporary, target_, error);
    if (error) {
        hostFailure("write", target_, error.value());
    }
    committed_ = true;
}

struct ArchiveReader::Input {
    Utf8Locale locale;
    struct archive* archive = nullptr;

    ~Input()
    {
        if (archive != nullptr) {
            archive_read_free(archive);
        }
    }
};

ArchiveReader::ArchiveReader(const fs::path& file, const Limits& limits)
    : limits_(limits)
    , input_(std::make_unique<Input>())
{
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    if (!in) {
        hostFailure("read", file, errno);
    }
    const std::streamoff size = in.tellg();
    std::vector<std::uint8_t> tail(
        static_cast<std::size_t>(std::min<std::streamoff>(size, kEndMarker)));
    in.seekg(size - static_cast<std::streamoff>(tail.size()));
    in.read(reinterpret_cast<char*>(tail.data()), static_cast<std::streamsize>(tail.size()));
    if (!in) {
        hostFailure("read", file, errno);
    }
    if (size % static_cast<std::streamoff>(kBlock) != 0) {
        tail.clear(); // cut inside a block
    }
    open(tail);
    if (archive_read_open_filename(input_->archive, file.c_str(), 64 * 1024) != ARCHIVE_OK) {
        const char* words = archive_error_string(input_->archive);
        throw ArchiveError(words != nullptr ? words : "cannot open it");
    }
}

ArchiveReader::ArchiveReader(std::span<const std::uint8_t> bytes, const Limits& limits)
    : limits_(limits)
    , input_(std::make_unique<Input>())
{
    open(bytes.size() % kBlock == 0 ? bytes.last(std::min(bytes.size(), kEndMarker))
                                    : std::span<const std::uint8_t>());
    if (archive_read_open_memory(input_->archive, bytes.data(), bytes.size()) != ARCHIVE_OK) {
        const char* words = archive_error_string(input_->archive);
        throw ArchiveError(words != nullptr ? words : "cannot open it");
    }
}

ArchiveReader::~ArchiveReader() = default;

void ArchiveReader::open(std::span<const std::uint8_t> tail)
{
    // libarchive takes an end of file between entries for the end of the
    // archive; only the end marker tells a whole archive from a cut one.
    if (tail.size() != kEndMarker ||
        std::any_of(tail.begin(), tail.end(), [](std::uint8_t b) { return b != 0; })) {
        throw ArchiveError("it ends without the end of a tar archive: it is cut short, or no "
                           "archive");
    }
    input_->archive = archive_read_new();
    if (input_->archive == nullptr) {
        throw std::bad_alloc();
    }
    archive_read_support_format_tar(input_->archive);
}

ArchiveReader::Next ArchiveReader::next()
{
    Next next;
    struct archive_entry* raw = nullptr;
    const int result = archive_read_next_header(input_->archive, &raw);
    if (result == ARCHIVE_EOF) {
        next.end = true;
        return next;
    }
    if (result < ARCHIVE_WARN) {
        const char* words = archive_error_string(input_->archive);
        throw ArchiveError(words != nullptr ? words : "it is malformed");
    }
    const char* shown = archive_entry_pathname_utf8(raw);
    if (shown == nullptr) {
        shown = archive_entry_pathname(raw);
    }
    next.shownPath = shown != nullptr ? shown : "";
    if (readMissingList(raw, next.missing)) {
        next.isMissingList = true;
        return next;
    }
    next.refusal = refusalOf(next.entry, raw);
    return next;
}

std::size_t ArchiveReader::read(std::uint8_t* buffer, std::size_t capacity)
{
    const la_ssize_t got = archive_read_data(input_->archive, buffer, capacity);
    if (got < 0) {
        const char* words = archive_error_string(input_->archive);
        throw ArchiveError(words != nullptr ? words : "its data cannot be read");
    }
    return static_cast<std::size_t>(got);
}

// Whether `raw` is the list of what the backup could not read; if so,
// `missing` gets its paths.
bool ArchiveReader::readMissingList(struct archive_entry* raw, std::vector<std::string>& missing)
{
    bool isList = false;
    std::string_view paths;
    archive_entry_xattr_reset(raw);
    const char* name = nullptr;
    const void* value = nullptr;
    std::size_t size = 0;
    while (archive_entry_xattr_next(raw, &name, &value, &size) == ARCHIVE_OK) {
        const std::string_view text(static_cast<const char*>(value), value != nullptr ? size : 0);
        if (std::string_view(name) == kKind && text == kMissingList) {
            isList = true;
        } else if (std::string_view(name) == kMissing) {
            paths = text;
        }
    }
    if (!isList) {
        return false;
    }
    for (std::size_t start = 0; start < paths.size();) {
        std::size_t end = paths.find('\0', start);
        if (end == std::string_view::npos) {
            end = paths.size();
        }
        if (end > start) {
            missing.emplace_back(paths.substr(start, end - start));
        }
        start = end + 1;
    }
    return true;
}

// Fills `entry` from `raw`; returns why the entry cannot be restored, or "".
std::string ArchiveReader::refusalOf(ArchiveEntry& entry, struct archive_entry* raw) const
{
    using Kind = ArchiveEntry::Kind;
    const char* utf8 = archive_entry_pathname_utf8(raw);
    if (utf8 == nullptr) {
        return "a name that is not UTF-8";
    }
    const std::string_view path(utf8);
    if (path.empty()) {
        return "an empty name";
    }
    if (path.front() == '/') {
        return "an absolute name";
    }
    const std::vector<std::string_view> names = namesOf(path);
    if (std::find(names.begin(), names.end(), "..") != names.end()) {
        return "a name that leads up with \"..\"";
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        entry.path += (i == 0 ? "" : "/") + std::string(names[i]);
    }

    const mode_t type = archive_entry_filetype(raw);
    std::string_view kind;
    std::string_view ownPath;
    std::string_view ownLink;
    bool hasOwnPath = false;
    bool hasOwnLink = false;
    archive_entry_xattr_reset(raw);
    const char* name = nullptr;
    const void* value = nullptr;
    std::size_t size = 0;
    while (archive_entry_xattr_next(raw, &name, &value, &size) == ARCHIVE_OK) {
        const std::string_view text(static_cast<const char*>(value), value != nullptr ? size : 0);
        if (std::string_view(name) == kHandsetPath) {
            ownPath = text;
            hasOwnPath = true;
        } else if (std::string_view(name) == kHandsetLink) {
            ownLink = text;
            hasOwnLink = true;
        } else if (std::string_view(name) == kKind) {
            kind = text;
        }
    }
    if (archive_entry_hardlink(raw) != nullptr) {
        return "a hard link, which a handset cannot hold";
    }
    if (type == AE_IFDIR) {
        entry.kind = Kind::Directory;
    } else if (type == AE_IFREG && kind.empty()) {
        entry.kind = Kind::File;
    } else if (type == AE_IFREG && kind == kItem) {
        entry.kind = Kind::Item;
    } else if (type == AE_IFREG) {
        return "a file of an unknown kind";
    } else if (type == AE_IFLNK) {
        entry.kind = Kind::Link;
    } else {
        return typeName(type) + ", which a handset cannot hold";
    }
    if (names.empty() && entry.kind != Kind::Directory) {
        return "a name for the destination itself, which is a directory";
    }

    // The handset's bytes: given beside the path, they must read as it.
    if (hasOwnPath) {
        const std::vector<std::string_view> own =
            ownPath.empty() ? std::vector<std::string_view>() : splitAll(ownPath);
        if (own.size() != names.size()) {
            return "handset bytes that do not match its name";
        }
        for (std::size_t i = 0; i < own.size(); ++i) {
            if (ArchiveNames::readableName(own[i]) != std::string(names[i])) {
                return "handset bytes that do not match its name";
            }
        }
        entry.handsetPath = ownPath;
    } else {
        try {
            entry.handsetPath = ArchiveNames::handsetBytes(entry.path);
        } catch (const std::invalid_argument&) {
            return "a name that is not UTF-8";
        }
    }
    for (const std::string_view handsetName : splitAll(entry.handsetPath)) {
        if (limits_.maxName != 0 && handsetName.size() > limits_.maxName) {
            return "a name of " + std::to_string(handsetName.size()) +
                   " bytes on the handset, which takes at most " + std::to_string(limits_.maxName);
        }
    }
    if (limits_.destinationLength + entry.handsetPath.size() > limits_.maxPath) {
        return "a path longer than the handset's " + std::to_string(limits_.maxPath) + " bytes";
    }

    if (entry.kind == Kind::Link) {
        const char* target = archive_entry_symlink_utf8(raw);
        if (target == nullptr || *target == '\0') {
            return "a link without a target in UTF-8";
        }
        entry.linkTarget = target;
        if (hasOwnLink) {
            if (ownLink.empty() || ownLink.find('\0') != std::string_view::npos ||
                ArchiveNames::readableText(ownLink) != entry.linkTarget) {
                return "handset bytes that do not match its link's target";
            }
            entry.handsetLinkTarget = ownLink;
        } else {
            entry.handsetLinkTarget = ArchiveNames::handsetBytes(entry.linkTarget);
        }
        if (entry.handsetLinkTarget.size() > Diag::Efs2::kMaxPath) {
            return "a link's target longer than the handset's " +
                   std::to_string(Diag::Efs2::kMaxPath) + " bytes";
        }
    }

    const la_int64_t bytes = archive_entry_size(raw);
    if (entry.kind == Kind::File || entry.kind == Kind::Item) {
        if (bytes < 0 ||
            static_cast<std::uint64_t>(bytes) > std::numeric_limits<std::uint32_t>::max()) {
            return "a file larger than a handset's files can be";
        }
        if (entry.kind == Kind::Item &&
            static_cast<std::uint64_t>(bytes) > Diag::Efs2::kMaxItemData) {
            return "an item file of more than " + std::to_string(Diag::Efs2::kMaxItemData) +
                   " bytes";
        }
        entry.size = static_cast<std::uint64_t>(bytes);
    }
    entry.permissions = static_cast<std::uint32_t>(archive_entry_perm(raw)) & 07777u;
    const la_int64_t time = archive_entry_mtime(raw);
    entry.modificationTime = static_cast<std::uint32_t>(
        std::clamp<la_int64_t>(time, 0, std::numeric_limits<std::uint32_t>::max()));
    return {};
}

} // namespace VornakEfs
