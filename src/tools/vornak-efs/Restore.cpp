#include "tools/vornak-efs/Restore.h"

#include "diag/DeviceError.h"
#include "diag/EFSChmod.h"
#include "diag/EFSClose.h"
#include "diag/EFSDelTree.h"
#include "diag/EFSMkDir.h"
#include "diag/EFSOpen.h"
#include "diag/EFSPut.h"
#include "diag/EFSReadLink.h"
#include "diag/EFSRename.h"
#include "diag/EFSRmDir.h"
#include "diag/EFSSymlink.h"
#include "diag/EFSUnlink.h"
#include "efs/File.h"
#include "tools/vornak-efs/ArchiveNames.h"
#include "tools/vornak-efs/BackupComparison.h"
#include "tools/vornak-efs/Progress.h"
#include "tools/vornak-efs/Terminal.h"
#include "tools/vornak-efs/Text.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <ostream>
#include <random>
#include <set>

namespace VornakEfs {

namespace {

using Kind = ArchiveEntry::Kind;
using Difference = BackupComparison::Difference;

constexpr std::size_t kChunk = 8 * Diag::Efs2::kMaxData;
constexpr int kPortFailuresToStop = 3;
// Directories are made with these bits for the owner while restore fills
// them; their own mode follows when they are full.
constexpr std::uint32_t kOwnerAll = 0700;
constexpr std::uint16_t kMadeDirectoryMode = 0755;

std::string permissionsText(std::uint32_t mode)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode & Diag::Efs2::kModePermissionMask);
    return text;
}

std::string plural(std::uint64_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string parentOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// What restore does with one entry of the backup.
enum class Action {
    Keep,          // the handset has it already
    MakeDirectory, // nothing there, or something that is no directory
    Write,         // a file, item file or link, made anew under a temporary name
    ChangeMode,    // the same content with other permission bits
};

struct Step {
    Action action = Action::Keep;
    bool removeFirst = false; // a directory (with --delete) or a non-directory in the way
    bool modeLater = false;   // a directory whose own mode follows its content
};

class RestoreRun {
public:
    RestoreRun(Session& session, const RestoreOptions& options, std::ostream& out,
               std::ostream& err)
        : session_(session)
        , options_(options)
        , out_(out)
        , err_(err)
        , comparison_(session, hostPath(options.archive), options.destination)
    {}

    int run()
    {
        const auto start = std::chrono::steady_clock::now();
        for (const auto& refusal : comparison_.refused()) {
            refuse(refusal.shownPath, refusal.why);
        }
        plan();
        if (options_.dryRun) {
            showPlan();
            return exitCode_;
        }
        if (options_.deleteExtra) {
            for (const std::string& path : comparison_.extras()) {
                attemptStep(path, [&] { removeName(path); });
                ++removed_;
            }
        }
        apply();
        for (auto it = laterModes_.rbegin(); it != laterModes_.rend(); ++it) {
            attemptStep(it->first, [&] { changeMode(it->first, it->second); });
        }
        report(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        return exitCode_;
    }

private:
    void refuse(const std::string& shown, const std::string& why)
    {
        err_ << "vornak-efs: refused " << shown << ": " << why << '\n';
        ++refusedCount_;
        note(kHandsetFailure);
    }

    void note(ExitCode code)
    {
        if (exitCode_ == kSuccess) {
            exitCode_ = code;
        }
    }

    // Decides every step before anything changes.
    void plan()
    {
        for (const auto& [path, archived] : comparison_.archived()) {
            Terminal::throwIfInterrupted();
            const ArchiveEntry& entry = archived.entry;
            if (const auto why = comparison_.blocked(path)) {
                refuse(ArchiveNames::readableText(entry.path.empty() ? "." : entry.path), *why);
                continue;
            }
            const ListedEntry* now = path.empty() && !comparison_.destinationExists()
                                         ? nullptr
                                         : comparison_.present(path);
            Step step;
            if (entry.kind == Kind::Directory) {
                if (now == nullptr || !now->isDirectory()) {
                    step.action = Action::MakeDirectory;
                    step.removeFirst = now != nullptr;
                    step.modeLater = (entry.permissions & kOwnerAll) != kOwnerAll;
                } else if ((now->mode & Diag::Efs2::kModePermissionMask) != entry.permissions) {
                    step.action = Action::ChangeMode;
                    step.modeLater = true;
                }
            } else if (now == nullptr) {
                step.action = Action::Write;
            } else if (now->isDirectory()) {
                if (!options_.deleteExtra) {
                    refuse(comparison_.shown(path),
                           "it is a directory on the handset; restore --delete replaces it");
                    continue;
                }
                step.action = Action::Write;
                step.removeFirst = true;
            } else if (!sameAsNow(path, archived, *now)) {
                step.action = Action::Write;
            } else if (entry.kind != Kind::Link &&
                       (now->mode & Diag::Efs2::kModePermissionMask) != entry.permissions) {
                step.action = Action::ChangeMode;
            }
            if (step.action == Action::Write && entry.kind != Kind::Link) {
                toWrite_ += entry.size;
                ++filesToWrite_;
            }
            steps_.emplace(path, step);
        }
    }

    bool sameAsNow(const std::string& path, const BackupComparison::Archived& archived,
                   const ListedEntry& now)
    {
        const ArchiveEntry& entry = archived.entry;
        const std::uint32_t type = now.mode & Diag::Efs2::kModeTypeMask;
        switch (entry.kind) {
        case Kind::Link:
            return type == Diag::Efs2::kModeSymbolicLink &&
                   session_.attempt(
                       "reading the link", shownPath(comparison_.handsetPathOf(path)), [&] {
                           return Diag::Efs::ReadLink(session_.port(), session_.timeout(),
                                                      session_.subsystem())
                               .TargetBytes(requestPath(comparison_.handsetPathOf(path)));
                       }) == entry.handsetLinkTarget;
        case Kind::File:
        case Kind::Item:
            return type == (entry.kind == Kind::File ? Diag::Efs2::kModeRegular
                                                     : Diag::Efs2::kModeItemFile) &&
                   now.size == entry.size && comparison_.sameContent(path, archived);
        case Kind::Directory:
            break;
        }
        return false;
    }

    void showPlan()
    {
        if (options_.deleteExtra) {
            for (const std::string& path : comparison_.extras()) {
                out_ << "remove   " << comparison_.shown(path) << '\n';
            }
        }
        std::uint64_t changes = 0;
        for (const auto& [path, step] : steps_) {
            const ArchiveEntry& entry = comparison_.archived().at(path).entry;
            const std::string shown = comparison_.shown(path);
            switch (step.action) {
            case Action::Keep:
                continue;
            case Action::MakeDirectory:
                out_ << (step.removeFirst ? "replace  " : "mkdir    ") << shown << '/' << '\n';
                break;
            case Action::ChangeMode:
                out_ << "chmod    " << shown << ' ' << permissionsText(entry.permissions) << '\n';
                break;
            case Action::Write:
                out_ << (step.removeFirst || comparison_.present(path) != nullptr ? "replace  "
                                                                                  : "write    ")
                     << shown;
                if (entry.kind == Kind::Link) {
                    out_ << " -> " << entry.linkTarget;
                } else if (entry.kind == Kind::Item) {
                    out_ << " (item file)";
                }
                out_ << '\n';
                break;
            }
            ++changes;
        }
        const std::size_t kept = options_.deleteExtra ? 0 : comparison_.extras().size();
        err_ << "vornak-efs: a restore would change "
             << plural(changes + (options_.deleteExtra ? comparison_.extras().size() : 0), "name",
                       "names");
        if (kept != 0) {
            err_ << " and keep " << plural(kept, "name", "names")
                 << " the backup does not hold (--delete removes them)";
        }
        err_ << "; nothing was changed\n";
    }

    // The second reading of the archive: each step as its entry comes, with
    // the entry's bytes at hand.
    void apply()
    {
        ArchiveReader::Limits limits;
        const std::string& destination = comparison_.destination();
        limits.destinationLength = destination == "/" ? 1 : destination.size() + 1;
        Progress progress(options_.progress, "", toWrite_);
        try {
            ArchiveReader reader(comparison_.archivePath(), limits);
            std::set<std::string> done;
            for (ArchiveReader::Next next = reader.next(); !next.end; next = reader.next()) {
                Terminal::throwIfInterrupted();
                if (next.isMissingList || !next.refusal.empty()) {
                    continue;
                }
                const std::string path = next.entry.handsetPath;
                const auto step = steps_.find(path);
                if (step == steps_.end() || !done.insert(path).second) {
                    continue; // refused, or a second entry of the name
                }
                if (stopped_) {
                    failed(path, "not restored: the handset stopped answering");
                    continue;
                }
                progress.rename(std::to_string(filesWritten_) + "/" +
                                std::to_string(filesToWrite_) + " files");
                attemptStep(path,
                            [&] { carryOut(path, step->second, next.entry, reader, progress); });
            }
        } catch (const ArchiveError& e) {
            throw Failure(kHostFailure, "cannot read the archive " + options_.archive + " again: " +
                                            e.what() + "; what was restored before stays");
        }
        progress.advanceTo(written_);
        progress.finish();
    }

    template <class Work>
    void attemptStep(const std::string& path, Work&& work)
    {
        try {
            work();
            portFailures_ = 0;
        } catch (const Failure& e) {
            if (e.exitCode() == kInterrupted || e.exitCode() == kHostFailure) {
                throw;
            }
            failed(path, e.what());
            note(e.exitCode());
            if (e.exitCode() == kPortFailure && ++portFailures_ >= kPortFailuresToStop) {
                stopped_ = true;
            }
        }
    }

    void failed(const std::string& path, const std::string& why)
    {
        err_ << "vornak-efs: could not restore " << comparison_.shown(path) << ": " << why << '\n';
        ++failedCount_;
    }

    void carryOut(const std::string& path, const Step& step, const ArchiveEntry& entry,
                  ArchiveReader& reader, Progress& progress)
    {
        if (step.action == Action::Keep) {
            ++unchanged_;
            return;
        }
        makeParents(path);
        if (step.action == Action::ChangeMode) {
            if (step.modeLater) {
                laterModes_.emplace_back(path, entry.permissions);
            } else {
                changeMode(path, entry.permissions);
            }
            ++modesChanged_;
            return;
        }
        if (step.removeFirst) {
            removeName(path);
        }
        if (step.action == Action::MakeDirectory) {
            makeDirectory(path, entry.permissions | kOwnerAll);
            if (step.modeLater) {
                laterModes_.emplace_back(path, entry.permissions);
            }
            ++counts_[0];
            return;
        }
        const std::string temporary = write(path, entry, reader, progress);
        rename(temporary, path);
        ++counts_[entry.kind == Kind::File ? 1 : entry.kind == Kind::Link ? 2 : 3];
    }

    // Makes the directories above `path` that are not there yet: the
    // destination itself, or those the backup names only by what they hold.
    void makeParents(const std::string& path)
    {
        if (!path.empty() && made_.count(parentOf(path)) != 0) {
            return;
        }
        std::vector<std::string> missing;
        for (std::string up = path.empty() ? path : parentOf(path);; up = parentOf(up)) {
            const bool exists =
                made_.count(up) != 0 || (up.empty() ? comparison_.destinationExists()
                                                    : comparison_.present(up) != nullptr &&
                                                          comparison_.present(up)->isDirectory());
            if (exists) {
                break;
            }
            missing.push_back(up);
            if (up.empty()) {
                break;
            }
        }
        for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
            if (it->empty()) {
                makeDestination();
            } else if (comparison_.archived().count(*it) == 0) {
                makeDirectory(*it, kMadeDirectoryMode);
            }
            made_.insert(*it);
        }
        made_.insert(path.empty() ? path : parentOf(path));
    }

    // mkdir -p of the destination.
    void makeDestination()
    {
        const std::string& destination = comparison_.destination();
        for (std::size_t slash = destination.find('/', 1);;
             slash = destination.find('/', slash + 1)) {
            const std::string step = destination.substr(0, slash);
            tryMakeDirectory(step, kMadeDirectoryMode);
            if (slash == std::string::npos) {
                break;
            }
        }
    }

    void tryMakeDirectory(const std::string& handsetPath, std::uint32_t mode)
    {
        session_.attempt("making the directory", shownPath(handsetPath), [&] {
            try {
                CEFSMkDir(session_.port(), session_.timeout(), session_.subsystem())
                    .Execute(requestPath(handsetPath), static_cast<std::uint16_t>(mode));
            } catch (const CEFSException& e) {
                if (!e.IsDeviceError(Diag::Efs2::kExists)) {
                    throw;
                }
            }
        });
    }

    void makeDirectory(const std::string& path, std::uint32_t mode)
    {
        const std::string handsetPath = comparison_.handsetPathOf(path);
        if (path.empty()) {
            makeDestination();
            return;
        }
        session_.attempt("making the directory", shownPath(handsetPath), [&] {
            CEFSMkDir(session_.port(), session_.timeout(), session_.subsystem())
                .Execute(requestPath(handsetPath), static_cast<std::uint16_t>(mode));
        });
        made_.insert(path);
    }

    void changeMode(const std::string& path, std::uint32_t mode)
    {
        const std::string handsetPath = comparison_.handsetPathOf(path);
        session_.attempt("changing the mode of", shownPath(handsetPath), [&] {
            Diag::Efs::Chmod(session_.port(), session_.timeout(), session_.subsystem())
                .Execute(requestPath(handsetPath), static_cast<std::uint16_t>(mode));
        });
    }

    // Removes what is at `path`: a directory with all it holds.
    void removeName(const std::string& path)
    {
        const ListedEntry* now = comparison_.present(path);
        const std::string handsetPath = comparison_.handsetPathOf(path);
        const std::u16string request = requestPath(handsetPath);
        if (now == nullptr || !now->isDirectory()) {
            session_.attempt("removing", shownPath(handsetPath), [&] {
                EFSUnlink(session_.port(), session_.timeout(), session_.subsystem())
                    .Execute(request);
            });
            return;
        }
        bool refused = false;
        session_.attempt("removing the tree", shownPath(handsetPath), [&] {
            try {
                Diag::Efs::DelTree(session_.port(), session_.timeout(), session_.subsystem())
                    .Execute(request);
            } catch (const CEFSException& e) {
                if (e.GetCode() != EFSERR_REFUSED) {
                    throw;
                }
                refused = true;
            }
        });
        if (refused) {
            removeTreeByHand(handsetPath);
        }
    }

    // For a handset without DELTREE: what a directory holds, then itself.
    void removeTreeByHand(const std::string& handsetPath)
    {
        for (const ListedEntry& entry : listDirectory(session_, handsetPath)) {
            const std::string child = joinHandsetBytes(handsetPath, entry.name);
            if (entry.isDirectory()) {
                removeTreeByHand(child);
            } else {
                session_.attempt("removing", shownPath(child), [&] {
                    EFSUnlink(session_.port(), session_.timeout(), session_.subsystem())
                        .Execute(requestPath(child));
                });
            }
        }
        session_.attempt("removing the directory", shownPath(handsetPath), [&] {
            Diag::Efs::Commands::RmDir(session_.port(), session_.timeout(), session_.subsystem())
                .Execute(requestPath(handsetPath));
        });
    }

    std::string temporaryName(const std::string& path)
    {
        const std::string directory = comparison_.handsetPathOf(parentOf(path));
        char name[24];
        std::snprintf(name, sizeof name, ".vornak-%08x", static_cast<unsigned>(random_()));
        return joinHandsetBytes(directory, name);
    }

    // Makes the entry under a temporary name beside `path`; returns that name.
    std::string write(const std::string& path, const ArchiveEntry& entry, ArchiveReader& reader,
                      Progress& progress)
    {
        const std::string temporary = temporaryName(path);
        const std::u16string request = requestPath(temporary);
        const std::u16string shown = shownPath(comparison_.handsetPathOf(path));
        const auto mode = static_cast<std::uint16_t>(entry.permissions);
        switch (entry.kind) {
        case Kind::Link:
            session_.attempt("making the link", shown, [&] {
                Diag::Efs::Symlink(session_.port(), session_.timeout(), session_.subsystem())
                    .Execute(requestPath(entry.handsetLinkTarget), request);
            });
            return temporary;
        case Kind::Item: {
            std::vector<std::uint8_t> data(entry.size);
            std::size_t got = 0;
            while (got < data.size()) {
                const std::size_t more = reader.read(data.data() + got, data.size() - got);
                if (more == 0) {
                    throw ArchiveError("the data of an item file is cut short");
                }
                got += more;
            }
            if (Platform::md5(data) != comparison_.archived().at(path).digest) {
                throw Failure(kHostFailure, "the archive changed while restore read it");
            }
            session_.attempt("writing the item", shown, [&] {
                Diag::Efs::Put(session_.port(), session_.timeout(), session_.subsystem())
                    .Execute(request, data,
                             Diag::Efs2::OpenFlag::kWriteOnly | Diag::Efs2::OpenFlag::kCreate |
                                 Diag::Efs2::OpenFlag::kExclusive,
                             mode);
            });
            written_ += entry.size;
            ++filesWritten_;
            return temporary;
        }
        case Kind::File:
            writeFile(temporary, path, entry, reader, progress);
            return temporary;
        case Kind::Directory:
            break;
        }
        return temporary;
    }

    void writeFile(const std::string& temporary, const std::string& path, const ArchiveEntry& entry,
                   ArchiveReader& reader, Progress& progress)
    {
        const std::u16string request = requestPath(temporary);
        const std::u16string shown = shownPath(comparison_.handsetPathOf(path));
        const std::int32_t fd = session_.attempt("creating", shown, [&] {
            return Diag::Efs::Open(session_.port(), session_.timeout(), session_.subsystem())
                .Execute(request,
                         Diag::Efs2::OpenFlag::kWriteOnly | Diag::Efs2::OpenFlag::kCreate |
                             Diag::Efs2::OpenFlag::kExclusive,
                         entry.permissions);
        });
        try {
            Rc::Pointer<Efs::FileBase> file = Rc::makeHeap<Efs::File, Efs::FileBase>(
                fd, session_.port(), session_.timeout(), session_.subsystem());
            Platform::Md5 digest;
            std::vector<std::uint8_t> chunk(kChunk);
            const std::uint64_t before = written_;
            for (std::size_t got; (got = reader.read(chunk.data(), chunk.size())) > 0;) {
                digest.update(std::span(chunk).first(got));
                const auto count = static_cast<std::uint32_t>(got);
                const std::uint32_t put = session_.attempt(
                    "writing", shown, [&] { return file->Write(chunk.data(), count, nullptr); });
                if (put != count) {
                    throw Failure(kHandsetFailure, "the handset took only " + std::to_string(put) +
                                                       " of " + std::to_string(count) + " bytes");
                }
                written_ += got;
                progress.advanceTo(written_);
            }
            if (written_ - before != entry.size ||
                digest.finish() != comparison_.archived().at(path).digest) {
                throw Failure(kHostFailure, "the archive changed while restore read it");
            }
            // Closed here, so that a close that fails is heard of.
            const std::int32_t descriptor = file->Detach();
            session_.attempt("closing", shown, [&] {
                CEFSClose(session_.port(), session_.timeout(), session_.subsystem())
                    .Execute(descriptor);
            });
            ++filesWritten_;
        } catch (...) {
            discard(temporary);
            throw;
        }
    }

    // Removes a temporary file after a failure, if the handset still answers.
    void discard(const std::string& temporary)
    {
        try {
            EFSUnlink(session_.port(), session_.timeout(), session_.subsystem())
                .Execute(requestPath(temporary));
        } catch (const CEFSException&) {
            err_ << "vornak-efs: a partial copy may be left as "
                 << ArchiveNames::readableText(temporary) << '\n';
        }
    }

    void rename(const std::string& temporary, const std::string& path)
    {
        const std::string target = comparison_.handsetPathOf(path);
        try {
            session_.attempt("renaming into place", shownPath(target), [&] {
                CEFSRename(session_.port(), session_.timeout(), session_.subsystem())
                    .Execute(requestPath(temporary), requestPath(target));
            });
        } catch (const Failure&) {
            discard(temporary);
            throw;
        }
    }

    void report(double seconds)
    {
        err_ << "vornak-efs: restored " << plural(counts_[1], "file", "files") << ", "
             << plural(counts_[0], "directory", "directories") << ", "
             << plural(counts_[2], "link", "links") << " and "
             << plural(counts_[3], "item file", "item files") << " (" << formatBytes(written_)
             << ") below " << ArchiveNames::readableText(comparison_.destination()) << " in "
             << formatDuration(seconds);
        if (modesChanged_ != 0) {
            err_ << "; changed " << plural(modesChanged_, "mode", "modes");
        }
        if (removed_ != 0) {
            err_ << "; removed " << plural(removed_, "name", "names");
        }
        err_ << "; " << unchanged_ << " already as in the backup\n";
        const std::size_t kept = options_.deleteExtra ? 0 : comparison_.extras().size();
        if (kept != 0) {
            err_ << "vornak-efs: kept " << plural(kept, "name", "names")
                 << " the backup does not hold (--delete removes them)\n";
        }
        if (counts_[0] + counts_[1] + counts_[2] + counts_[3] != 0) {
            err_ << "vornak-efs: modification times are not restored: the handset has no request "
                    "that sets them\n";
        }
        if (refusedCount_ + failedCount_ != 0) {
            err_ << "vornak-efs: the restore is INCOMPLETE: "
                 << plural(refusedCount_, "entry", "entries") << " refused, "
                 << plural(failedCount_, "name", "names") << " not restored\n";
        }
    }

    Session& session_;
    const RestoreOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    BackupComparison comparison_;
    std::map<std::string, Step> steps_;
    std::set<std::string> made_; // directories known to be there now, relative
    std::vector<std::pair<std::string, std::uint32_t>> laterModes_;
    std::mt19937 random_{std::random_device{}()};
    std::uint64_t toWrite_ = 0;
    std::uint64_t filesToWrite_ = 0;
    std::uint64_t written_ = 0;
    std::uint64_t filesWritten_ = 0;
    std::uint64_t counts_[4] = {}; // directories, files, links, item files made
    std::uint64_t modesChanged_ = 0;
    std::uint64_t removed_ = 0;
    std::uint64_t unchanged_ = 0;
    std::uint64_t refusedCount_ = 0;
    std::uint64_t failedCount_ = 0;
    int portFailures_ = 0;
    bool stopped_ = false;
    ExitCode exitCode_ = kSuccess;
};

const char* differenceWord(Difference::Kind kind)
{
    switch (kind) {
    case Difference::Kind::Added:
        return "added   ";
    case Difference::Kind::Removed:
        return "removed ";
    case Difference::Kind::Content:
        return "content ";
    case Difference::Kind::Mode:
        return "mode    ";
    case Difference::Kind::Link:
        return "link    ";
    case Difference::Kind::Type:
        return "type    ";
    case Difference::Kind::Unreadable:
        return "unread  ";
    }
    return "?       ";
}

} // namespace

int restore(Session& session, const RestoreOptions& options, std::ostream& out, std::ostream& err)
{
    return RestoreRun(session, options, out, err).run();
}

int compare(Session& session, const RestoreOptions& options, std::ostream& out, std::ostream& err)
{
    BackupComparison comparison(session, hostPath(options.archive), options.destination);
    for (const auto& refusal : comparison.refused()) {
        err << "vornak-efs: left out " << refusal.shownPath << ": " << refusal.why << '\n';
    }
    const std::vector<Difference> differences = comparison.differences();
    for (const Difference& difference : differences) {
        out << differenceWord(difference.kind) << ' ' << comparison.shown(difference.path);
        if (!difference.was.empty() || !difference.now.empty()) {
            out << "  " << difference.was << " -> " << difference.now;
        }
        out << '\n';
    }
    return differences.empty() && comparison.refused().empty() ? kSuccess : kHandsetFailure;
}

} // namespace VornakEfs
