#include "tools/vornak-efs/Backup.h"

#include "diag/EFSGet.h"
#include "diag/EFSLStat.h"
#include "diag/EFSMd5Sum.h"
#include "diag/EFSOpen.h"
#include "diag/EFSReadLink.h"
#include "diag/Efs2Text.h"
#include "efs/File.h"
#include "lang/Transcode.h"
#include "platform/Md5.h"
#include "tools/vornak-efs/Archive.h"
#include "tools/vornak-efs/ArchiveNames.h"
#include "tools/vornak-efs/EntryName.h"
#include "tools/vornak-efs/HandsetTree.h"
#include "tools/vornak-efs/Progress.h"
#include "tools/vornak-efs/Terminal.h"
#include "tools/vornak-efs/Text.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <ostream>

namespace VornakEfs {

namespace {

using Kind = ArchiveEntry::Kind;

// Bytes asked for in one File::Read: a few packets, so Ctrl-C and the
// progress line are never far away.
constexpr std::uint32_t kChunk = 8 * Diag::Efs2::kMaxData;
// Port failures in a row after which the handset is taken for gone.
constexpr int kPortFailuresToStop = 3;

// One name to back up, in the archive's order.
struct Planned {
    std::string handsetPath; // absolute, the handset's bytes
    std::string archivePath; // relative to the archive's root, the handset's bytes
    std::uint32_t mode = 0;
    std::optional<std::uint32_t> size; // unknown for a file named on the command line
    std::uint32_t modificationTime = 0;
};

struct Missing {
    std::string archivePath;
    std::string why;
};

std::string plural(std::uint64_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

class BackupRun {
public:
    BackupRun(Session& session, const BackupOptions& options, std::ostream& err)
        : session_(session)
        , options_(options)
        , err_(err)
    {}

    int run()
    {
        const auto start = std::chrono::steady_clock::now();
        for (const std::string& root : roots()) {
            plan(root);
        }
        ArchiveWriter writer(hostPath(options_.output));
        std::uint64_t totalFiles = 0;
        std::uint64_t totalBytes = 0;
        for (const Planned& planned : plan_) {
            if (!Diag::Efs2::isDirectoryMode(planned.mode)) {
                ++totalFiles;
                totalBytes += planned.size.value_or(0);
            }
        }
        Progress progress(options_.progress, "", totalBytes);
        for (const Planned& planned : plan_) {
            Terminal::throwIfInterrupted();
            if (!Diag::Efs2::isDirectoryMode(planned.mode)) {
                ++filesDone_;
            }
            progress.rename(std::to_string(filesDone_) + "/" + std::to_string(totalFiles) +
                            " files");
            progress.advanceTo(bytesDone_);
            if (stopped_) {
                missing_.push_back(
                    {planned.archivePath, "not read: the handset stopped answering"});
                continue;
            }
            const std::uint64_t before = bytesDone_;
            try {
                copy(planned, writer, progress);
                portFailures_ = 0;
                archivedBytes_ += bytesDone_ - before;
            } catch (const Failure& e) {
                bytesDone_ = before + planned.size.value_or(0);
                if (e.exitCode() == kInterrupted || e.exitCode() == kHostFailure) {
                    throw;
                }
                missing_.push_back({planned.archivePath, e.what()});
                noteFailure(e.exitCode());
            }
        }
        progress.advanceTo(bytesDone_);
        progress.finish();
        if (!missing_.empty()) {
            writer.addMissingList(missingPaths(), missingText());
        }
        writer.commit();
        report(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        return exitCode_;
    }

private:
    // The handset paths to back up, as the handset's bytes: each operand
    // once, and none inside another.
    std::vector<std::string> roots() const
    {
        std::vector<std::string> roots;
        for (const std::string& typed : options_.paths) {
            roots.push_back(Lang::Platform::transcode(handsetPath(typed)));
        }
        if (roots.empty()) {
            roots.emplace_back("/");
        }
        std::sort(roots.begin(), roots.end());
        roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
        std::vector<std::string> kept;
        for (const std::string& root : roots) {
            const bool inside = std::any_of(kept.begin(), kept.end(), [&](const std::string& k) {
                return k == "/" || root.starts_with(k + "/");
            });
            if (!inside) {
                kept.push_back(root);
            }
        }
        return kept;
    }

    void plan(const std::string& root)
    {
        // The archive names a backup of "/" from the root on, and of "/a/b"
        // as "a/b": restore puts each back where it was, below its destination.
        const std::string archivePath = root == "/" ? "" : root.substr(1);
        Planned planned{root, archivePath, 0, std::nullopt, 0};
        try {
            std::uint32_t atime = 0, ctime = 0;
            session_.attempt("looking up", shownPath(root), [&] {
                EFSLStat(session_.port(), session_.timeout(), session_.subsystem())
                    .Execute(requestPath(root), planned.mode, atime, planned.modificationTime,
                             ctime);
            });
        } catch (const Failure& e) {
            if (e.exitCode() == kInterrupted) {
                throw;
            }
            missing_.push_back({archivePath, e.what()});
            noteFailure(e.exitCode());
            return;
        }
        if (!ArchiveNames::readablePath(archivePath)) {
            missing_.push_back({archivePath, "a name that no archive can hold"});
            noteFailure(kHandsetFailure);
            return;
        }
        plan_.push_back(planned);
        if (Diag::Efs2::isDirectoryMode(planned.mode)) {
            walk(root, archivePath);
        }
    }

    // Lists the directory whose entry was planned last, and all below it.
    void walk(const std::string& directory, const std::string& archivePath)
    {
        Terminal::throwIfInterrupted();
        std::vector<ListedEntry> entries;
        try {
            entries = listDirectory(session_, directory);
        } catch (const Failure& e) {
            if (e.exitCode() == kInterrupted) {
                throw;
            }
            // Without its listing an empty directory would stand for it.
            plan_.pop_back();
            missing_.push_back({archivePath, e.what()});
            noteFailure(e.exitCode());
            return;
        }
        for (ListedEntry& entry : entries) {
            const std::string childPath =
                archivePath.empty() ? entry.name : archivePath + "/" + entry.name;
            if (!ArchiveNames::readableName(entry.name)) {
                missing_.push_back({childPath, "a name that no archive can hold"});
                noteFailure(kHandsetFailure);
                continue;
            }
            const bool isDirectory = entry.isDirectory();
            std::string child = joinHandsetBytes(directory, entry.name);
            plan_.push_back({child, childPath, entry.mode,
                             isDirectory ? std::nullopt : std::optional(entry.size),
                             entry.modificationTime});
            if (isDirectory) {
                walk(child, childPath);
            }
        }
    }

    ArchiveEntry entryOf(const Planned& planned, Kind kind) const
    {
        ArchiveEntry entry;
        entry.kind = kind;
        entry.handsetPath = planned.archivePath;
        entry.path = ArchiveNames::readablePath(planned.archivePath).value_or("");
        entry.permissions = planned.mode & Diag::Efs2::kModePermissionMask;
        entry.modificationTime = planned.modificationTime;
        return entry;
    }

    void copy(const Planned& planned, ArchiveWriter& writer, Progress& progress)
    {
        const std::uint32_t type = planned.mode & Diag::Efs2::kModeTypeMask;
        if (type == Diag::Efs2::kModeDirectory) {
            writer.begin(entryOf(planned, Kind::Directory));
            writer.end();
        } else if (type == Diag::Efs2::kModeRegular) {
            copyFile(planned, writer, progress);
        } else if (type == Diag::Efs2::kModeSymbolicLink) {
            copyLink(planned, writer);
        } else if (type == Diag::Efs2::kModeItemFile) {
            copyItem(planned, writer);
        } else {
            throw Failure(kHandsetFailure, std::string("a ") +
                                               Diag::Efs2::modeTypeName(planned.mode) +
                                               ", which backup does not copy");
        }
    }

    void copyFile(const Planned& planned, ArchiveWriter& writer, Progress& progress)
    {
        const std::u16string shown = shownPath(planned.handsetPath);
        const std::u16string request = requestPath(planned.handsetPath);
        Rc::Pointer<Efs::FileBase> file = session_.attempt("opening", shown, [&] {
            const std::int32_t fd =
                Diag::Efs::Open(session_.port(), session_.timeout(), session_.subsystem())
                    .Execute(request, Diag::Efs2::kOpenReadOnly, Diag::Efs2::kModeReadOnly);
            return Rc::makeHeap<Efs::File, Efs::FileBase>(fd, session_.port(), session_.timeout(),
                                                          session_.subsystem());
        });
        ArchiveEntry entry = entryOf(planned, Kind::File);
        entry.size = planned.size ? *planned.size
                                  : session_.attempt("reading the size of", shown,
                                                     [&] { return file->Size(); });
        writer.begin(entry);
        try {
            Platform::Md5 digest;
            std::vector<std::uint8_t> chunk(kChunk);
            std::uint64_t read = 0;
            const std::uint64_t bytesBefore = bytesDone_;
            for (;;) {
                const std::uint32_t got = session_.attempt(
                    "reading", shown, [&] { return file->Read(chunk.data(), kChunk); });
                read += got;
                if (read > entry.size) {
                    throw Failure(kHandsetFailure, "it grew while it was read");
                }
                writer.write(chunk.data(), got);
                digest.update(std::span(chunk).first(got));
                bytesDone_ = bytesBefore + read;
                progress.advanceTo(bytesDone_);
                if (got < kChunk) {
                    break; // the handset ends a file with a short packet
                }
            }
            if (read < entry.size) {
                throw Failure(kHandsetFailure, "it shrank while it was read");
            }
            file = nullptr; // CLOSE before anything else is asked
            if (options_.verify) {
                verify(planned.handsetPath, digest.finish());
            }
            writer.end();
        } catch (...) {
            writer.drop();
            throw;
        }
    }

    // Compares `digest` with the handset's MD5SUM of `handsetPath`, unless
    // the handset has no MD5SUM.
    void verify(const std::string& handsetPath, const Platform::Md5Digest& digest)
    {
        if (!canVerify_) {
            return;
        }
        bool refused = false;
        const Diag::Efs::Md5Digest handset =
            session_.attempt("computing the digest of", shownPath(handsetPath), [&] {
                try {
                    return Diag::Efs::Md5Sum(session_.port(), session_.timeout(),
                                             session_.subsystem())
                        .Execute(requestPath(handsetPath));
                } catch (const CEFSException& e) {
                    if (e.GetCode() != EFSERR_REFUSED) {
                        throw;
                    }
                    refused = true;
                    return Diag::Efs::Md5Digest{};
                }
            });
        if (refused) {
            canVerify_ = false;
            err_ << "vornak-efs: the handset has no MD5SUM; the files are not verified\n";
            return;
        }
        ++verified_;
        if (!std::equal(handset.begin(), handset.end(), digest.begin(), digest.end())) {
            throw Failure(kHandsetFailure,
                          "its bytes differ from the handset's MD5 digest of it; read again");
        }
    }

    void copyLink(const Planned& planned, ArchiveWriter& writer)
    {
        ArchiveEntry entry = entryOf(planned, Kind::Link);
        entry.handsetLinkTarget =
            session_.attempt("reading the link", shownPath(planned.handsetPath), [&] {
                return Diag::Efs::ReadLink(session_.port(), session_.timeout(),
                                           session_.subsystem())
                    .TargetBytes(requestPath(planned.handsetPath));
            });
        if (entry.handsetLinkTarget.empty()) {
            throw Failure(kHandsetFailure, "a link without a target");
        }
        entry.linkTarget = ArchiveNames::readableText(entry.handsetLinkTarget);
        writer.begin(entry);
        writer.end();
    }

    void copyItem(const Planned& planned, ArchiveWriter& writer)
    {
        std::vector<std::uint8_t> data(Diag::Efs2::kMaxItemData);
        const std::uint32_t length =
            session_.attempt("reading the item", shownPath(planned.handsetPath), [&] {
                return Diag::Efs::Get(session_.port(), session_.timeout(), session_.subsystem())
                    .Execute(requestPath(planned.handsetPath), data.data(),
                             static_cast<std::uint32_t>(data.size()));
            });
        ArchiveEntry entry = entryOf(planned, Kind::Item);
        entry.size = length;
        writer.begin(entry);
        writer.write(data.data(), length);
        writer.end();
        bytesDone_ += length;
    }

    void noteFailure(ExitCode code)
    {
        if (exitCode_ == kSuccess) {
            exitCode_ = code;
        }
        if (code == kPortFailure && ++portFailures_ >= kPortFailuresToStop) {
            stopped_ = true;
        }
    }

    std::vector<std::string> missingPaths() const
    {
        std::vector<std::string> paths;
        for (const Missing& missing : missing_) {
            paths.push_back(missing.archivePath);
        }
        return paths;
    }

    std::string shownMissing(const Missing& missing) const
    {
        // A hostile name must not write to the terminal what it likes.
        const std::string path =
            printableName(fromUtf8(ArchiveNames::readableText(missing.archivePath)));
        return (path.empty() ? "." : path) + ": " + missing.why;
    }

    std::string missingText() const
    {
        std::string text = "This backup is incomplete: the handset did not let these be read.\n";
        for (const Missing& missing : missing_) {
            text += shownMissing(missing) + "\n";
        }
        return text;
    }

    void report(double seconds)
    {
        std::uint64_t counts[4] = {};
        for (const Planned& planned : plan_) {
            const std::uint32_t type = planned.mode & Diag::Efs2::kModeTypeMask;
            ++counts[type == Diag::Efs2::kModeDirectory      ? 0
                     : type == Diag::Efs2::kModeSymbolicLink ? 2
                     : type == Diag::Efs2::kModeItemFile     ? 3
                                                             : 1];
        }
        err_ << "vornak-efs: backed up " << plural(counts[1], "file", "files") << ", "
             << plural(counts[0], "directory", "directories") << ", "
             << plural(counts[2], "link", "links") << " and "
             << plural(counts[3], "item file", "item files") << " (" << formatBytes(archivedBytes_)
             << ") into " << options_.output << " in " << formatDuration(seconds) << '\n';
        if (options_.verify && canVerify_) {
            err_ << "vornak-efs: " << plural(verified_, "file", "files")
                 << " verified against the handset's MD5 digests\n";
        }
        if (!missing_.empty()) {
            err_ << "vornak-efs: the backup is INCOMPLETE; "
                 << plural(missing_.size(), "name is", "names are") << " missing from it:\n";
            for (const Missing& missing : missing_) {
                err_ << "  " << shownMissing(missing) << '\n';
            }
        }
    }

    Session& session_;
    const BackupOptions& options_;
    std::ostream& err_;
    std::vector<Planned> plan_;
    std::vector<Missing> missing_;
    std::uint64_t filesDone_ = 0;
    std::uint64_t bytesDone_ = 0;     // for the progress line
    std::uint64_t archivedBytes_ = 0; // in the archive
    std::uint64_t verified_ = 0;
    bool canVerify_ = true;
    int portFailures_ = 0;
    bool stopped_ = false;
    ExitCode exitCode_ = kSuccess;
};

} // namespace

int backup(Session& session, const BackupOptions& options, std::ostream& err)
{
    return BackupRun(session, options, err).run();
}

} // namespace VornakEfs
