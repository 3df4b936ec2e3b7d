#include "tools/vornak-efs/Transfer.h"

#include "diag/Efs2Text.h"
#include "tools/vornak-efs/EntryName.h"
#include "tools/vornak-efs/Progress.h"
#include "tools/vornak-efs/StagedFile.h"
#include "tools/vornak-efs/Terminal.h"
#include "tools/vornak-efs/Text.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <ostream>
#include <stdexcept>
#include <system_error>

namespace VornakEfs {

namespace fs = std::filesystem;

namespace {

// Bytes asked of the device file at a time: the progress bar moves per chunk.
constexpr std::uint32_t kReadChunk = 8 * 1024;
constexpr std::uint32_t kWriteChunk = 64 * 1024;
// The permission bits of directories that put makes.
constexpr std::uint16_t kDirectoryMode = 0755;

[[noreturn]] void hostFailure(const std::string& what, const fs::path& path, int error)
{
    throw Failure(kHostFailure, "cannot " + what + " " + hostText(path) + ": " +
                                    std::generic_category().message(error));
}

void warn(const TransferOptions& options, const std::string& message)
{
    if (options.warnings != nullptr) {
        *options.warnings << "vornak-efs: " << message << '\n';
    }
}

void downloadFile(Session& session, const std::u16string& remote, const fs::path& local,
                  const TransferOptions& options)
{
    // Half a file is worse than none: it would pass for the whole, and the
    // user's earlier file of that name would be lost with it.
    StagedFile staged(local);
    readHandsetFile(session, remote, options.progress,
                    [&](const std::uint8_t* bytes, std::size_t count) { staged.write(bytes, count); });
    staged.commit();
}

// Copies the tree below `remote` into the folder `local`. Entries whose names
// could place a file outside `local` are left out and counted in `refused`.
void downloadTree(Session& session, const std::u16string& remote, const fs::path& local,
                  const TransferOptions& options, std::size_t& refused)
{
    Terminal::throwIfInterrupted();
    std::error_code error;
    fs::create_directory(local, error);
    if (error) {
        hostFailure("make the folder", local, error.value());
    }
    for (const Session::Entry& entry : session.list(remote)) {
        if (const auto unsafe = unsafeEntryName(entry.name)) {
            warn(options, "refused the entry " + quotedName(entry.name) + " of " + toUtf8(remote) +
                              ": " + *unsafe + " could place it outside " + hostText(local));
            ++refused;
            continue;
        }
        const std::u16string child = joinHandset(remote, entry.name);
        const fs::path hostChild = local / hostPath(toUtf8(entry.name));
        const std::uint32_t type = entry.attributes.mode & Diag::Efs2::kModeTypeMask;
        if (entry.isDirectory) {
            downloadTree(session, child, hostChild, options, refused);
        } else if (type == Diag::Efs2::kModeRegular || type == 0) {
            downloadFile(session, child, hostChild, options);
        } else {
            const std::string kind = Diag::Efs2::modeTypeName(entry.attributes.mode);
            const bool vowel = std::string_view("aeiou").find(kind.front()) != std::string_view::npos;
            warn(options, "left out " + printableName(child) + (vowel ? ", an " : ", a ") + kind);
        }
    }
}

void uploadFile(Session& session, const fs::path& local, const std::u16string& remote,
                const TransferOptions& options)
{
    std::ifstream in(local, std::ios::binary);
    if (!in) {
        hostFailure("read", local, errno);
    }
    std::error_code error;
    const std::uintmax_t size = fs::file_size(local, error);
    if (error) {
        hostFailure("read", local, error.value());
    }
    Rc::Pointer<Efs::FileBase> file = session.createForWriting(remote);
    Progress progress(options.progress, toUtf8(remote), size);
    progress.advanceTo(0);
    std::vector<std::uint8_t> block(kWriteChunk);
    for (;;) {
        in.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size()));
        const auto count = static_cast<std::uint32_t>(in.gcount());
        if (in.bad()) {
            hostFailure("read", local, errno);
        }
        if (count == 0) {
            break; // OPEN has made the file empty already
        }
        const std::uint32_t written = session.attempt(
            "writing", remote, [&] { return file->Write(block.data(), count, &progress); });
        if (written != count) {
            throw Failure(kHandsetFailure, "The handset took only " + std::to_string(written) +
                                               " of " + std::to_string(count) + " bytes writing " +
                                               toUtf8(remote));
        }
        if (count < block.size()) {
            break;
        }
    }
    progress.finish();
}

void uploadTree(Session& session, const fs::path& local, const std::u16string& remote,
                const TransferOptions& options)
{
    Terminal::throwIfInterrupted();
    if (const auto existing = session.find(remote); !existing) {
        session.makeDirectory(remote, kDirectoryMode);
    } else if (!existing->isDirectory()) {
        throw Failure(kHandsetFailure, toUtf8(remote) + " is on the handset, and not a directory");
    }
    std::error_code error;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(local, error), end; !error && it != end; it.increment(error)) {
        entries.push_back(*it);
    }
    if (error) {
        hostFailure("read the folder", local, error.value());
    }
    std::sort(entries.begin(), entries.end());
    for (const fs::directory_entry& entry : entries) {
        std::u16string name;
        try {
            name = fromUtf8(hostText(entry.path().filename()));
        } catch (const std::invalid_argument&) {
            warn(options, "left out " + hostText(entry.path()) + ", whose name is not UTF-8");
            continue;
        }
        const std::u16string child = joinHandset(remote, name);
        const fs::file_status own = entry.symlink_status();
        const fs::file_status target = entry.status();
        if (fs::is_directory(own)) {
            uploadTree(session, entry.path(), child, options);
        } else if (fs::is_regular_file(target)) {
            uploadFile(session, entry.path(), child, options);
        } else if (fs::is_directory(target)) {
            warn(options, "left out " + hostText(entry.path()) + ", a link to a folder");
        } else {
            warn(options, "left out " + hostText(entry.path()) + ", neither file nor folder");
        }
    }
}

} // namespace

std::uint64_t readHandsetFile(Session& session, const std::u16string& path, std::FILE* terminal,
                              const ByteSink& sink)
{
    Rc::Pointer<Efs::FileBase> file = session.openForReading(path);
    const std::uint32_t size = session.attempt("reading", path, [&] { return file->Size(); });
    Progress progress(terminal, toUtf8(path), size);
    progress.advanceTo(0);
    std::vector<std::uint8_t> chunk(kReadChunk);
    std::uint64_t done = 0;
    for (;;) {
        const std::uint32_t got =
            session.attempt("reading", path, [&] { return file->Read(chunk.data(), kReadChunk); });
        sink(chunk.data(), got);
        done += got;
        progress.advanceTo(done);
        // The handset ends a file with a short packet.
        if (got < kReadChunk) {
            break;
        }
    }
    progress.finish();
    return done;
}

void get(Session& session, const std::vector<std::string>& operands, const TransferOptions& options)
{
    const bool destinationGiven = operands.size() > 1;
    const std::vector<std::string> sources(operands.begin(),
                                           operands.end() - (destinationGiven ? 1 : 0));
    const fs::path destination = hostPath(destinationGiven ? operands.back() : ".");
    std::error_code error;
    const bool intoFolder = fs::is_directory(destination, error);
    if (sources.size() > 1 && !intoFolder) {
        throw Failure(kUsage, "to get several files, end with a folder of this computer; " +
                                  hostText(destination) + " is none");
    }
    std::size_t refused = 0;
    for (const std::string& source : sources) {
        const std::u16string remote = handsetPath(source);
        const Session::Attributes attributes = session.stat(remote, false);
        const std::u16string_view name = baseName(remote);
        const fs::path target =
            intoFolder && !name.empty() ? destination / hostPath(toUtf8(name)) : destination;
        if (attributes.isDirectory()) {
            if (!options.recursive) {
                throw Failure(kUsage, toUtf8(remote) + " is a directory; get -r copies trees");
            }
            downloadTree(session, remote, target, options, refused);
        } else {
            downloadFile(session, remote, target, options);
        }
    }
    if (refused > 0) {
        throw Failure(kHandsetFailure,
                      "The handset listed " + std::to_string(refused) +
                          (refused == 1 ? " name" : " names") +
                          " that cannot be files here (see above); everything else was copied");
    }
}

void put(Session& session, const std::vector<std::string>& operands, const TransferOptions& options)
{
    const bool destinationGiven = operands.size() > 1;
    const std::vector<std::string> sources(operands.begin(),
                                           operands.end() - (destinationGiven ? 1 : 0));
    const std::u16string destination = destinationGiven ? handsetPath(operands.back()) : u"/";
    const auto existing = session.find(destination);
    const bool intoDirectory = existing && existing->isDirectory();
    if (sources.size() > 1 && !intoDirectory) {
        throw Failure(kUsage, "to put several files, end with a handset directory; " +
                                  toUtf8(destination) + " is none");
    }
    for (const std::string& source : sources) {
        const fs::path local = hostPath(source);
        std::error_code error;
        const fs::file_status status = fs::status(local, error);
        if (error) {
            hostFailure("read", local, error.value());
        }
        const std::string name = hostText(hostBaseName(local));
        const std::u16string target =
            intoDirectory && !name.empty() ? joinHandset(destination, fromUtf8(name)) : destination;
        if (fs::is_directory(status)) {
            if (!options.recursive) {
                throw Failure(kUsage, source + " is a folder; put -r copies trees");
            }
            uploadTree(session, local, target, options);
        } else if (fs::is_regular_file(status)) {
            uploadFile(session, local, target, options);
        } else {
            throw Failure(kHostFailure, source + " is neither file nor folder");
        }
    }
}

} // namespace VornakEfs
