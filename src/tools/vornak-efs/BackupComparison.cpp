#include "tools/vornak-efs/BackupComparison.h"

#include "diag/DeviceError.h"
#include "diag/EFSGet.h"
#include "diag/EFSLStat.h"
#include "diag/EFSMd5Sum.h"
#include "diag/EFSOpen.h"
#include "diag/EFSReadLink.h"
#include "diag/Efs2Text.h"
#include "efs/File.h"
#include "lang/Transcode.h"
#include "tools/vornak-efs/ArchiveNames.h"
#include "tools/vornak-efs/Terminal.h"
#include "tools/vornak-efs/Text.h"

#include <algorithm>
#include <cstdio>

namespace VornakEfs {

namespace {

using Kind = ArchiveEntry::Kind;

constexpr std::size_t kReadChunk = 64 * 1024;

std::string parentOf(const std::string& relative)
{
    const std::size_t slash = relative.rfind('/');
    return slash == std::string::npos ? std::string() : relative.substr(0, slash);
}

std::string joinRelative(const std::string& directory, const std::string& name)
{
    return directory.empty() ? name : directory + "/" + name;
}

std::optional<Kind> kindOf(std::uint32_t mode)
{
    switch (mode & Diag::Efs2::kModeTypeMask) {
    case Diag::Efs2::kModeDirectory:
        return Kind::Directory;
    case Diag::Efs2::kModeRegular:
        return Kind::File;
    case Diag::Efs2::kModeItemFile:
        return Kind::Item;
    case Diag::Efs2::kModeSymbolicLink:
        return Kind::Link;
    default:
        return std::nullopt;
    }
}

std::string kindName(Kind kind)
{
    switch (kind) {
    case Kind::Directory:
        return "directory";
    case Kind::File:
        return "file";
    case Kind::Item:
        return "item file";
    case Kind::Link:
        return "link";
    }
    return "?";
}

std::string permissionsText(std::uint32_t mode)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode & Diag::Efs2::kModePermissionMask);
    return text;
}

} // namespace

BackupComparison::BackupComparison(Session& session, const std::filesystem::path& archive,
                                   const std::string& destination)
    : session_(session)
    , archive_(archive)
    , destination_(Lang::Platform::transcode(handsetPath(destination)))
{
    readArchive();
    listHandset();
}

std::string BackupComparison::handsetPathOf(const std::string& relative) const
{
    return relative.empty() ? destination_ : joinHandsetBytes(destination_, relative);
}

std::string BackupComparison::shown(const std::string& relative) const
{
    return ArchiveNames::readableText(handsetPathOf(relative));
}

const ListedEntry* BackupComparison::present(const std::string& relative) const
{
    const auto found = present_.find(relative);
    return found == present_.end() ? nullptr : &found->second;
}

void BackupComparison::readArchive()
{
    ArchiveReader::Limits limits;
    limits.maxPath = Diag::Efs2::kMaxPath;
    limits.destinationLength = destination_ == "/" ? 1 : destination_.size() + 1;
    try {
        ArchiveReader reader(archive_, limits);
        std::vector<std::uint8_t> buffer(kReadChunk);
        for (ArchiveReader::Next next = reader.next(); !next.end; next = reader.next()) {
            Terminal::throwIfInterrupted();
            if (next.isMissingList) {
                unreadable_.insert(unreadable_.end(), next.missing.begin(), next.missing.end());
                continue;
            }
            if (!next.refusal.empty()) {
                refused_.push_back({next.shownPath, next.refusal});
                continue;
            }
            ArchiveEntry& entry = next.entry;
            const std::string path = entry.handsetPath;
            if (entry.kind == Kind::Link) {
                archivedLinks_.insert(path);
            }
            if (archived_.count(path) != 0) {
                refused_.push_back({next.shownPath, "a second entry of the same name"});
                continue;
            }
            Archived archived;
            Platform::Md5 digest;
            std::uint64_t size = 0;
            for (std::size_t got; (got = reader.read(buffer.data(), buffer.size())) > 0;) {
                size += got;
                digest.update(std::span(buffer).first(got));
                if (entry.kind == Kind::Item) {
                    archived.itemData.insert(archived.itemData.end(), buffer.begin(),
                                             buffer.begin() + static_cast<std::ptrdiff_t>(got));
                }
            }
            if (size != entry.size) {
                throw ArchiveError("the data of " + next.shownPath + " is cut short");
            }
            archived.digest = digest.finish();
            archived.entry = std::move(entry);
            archived_.emplace(path, std::move(archived));
        }
    } catch (const ArchiveError& e) {
        throw Failure(kHostFailure, "cannot read the archive " + hostText(archive_) + ": " +
                                        e.what() + "; nothing was changed");
    }
}

void BackupComparison::listHandset()
{
    std::uint32_t mode = 0, atime = 0, mtime = 0, ctime = 0;
    const bool exists = session_.attempt("looking up", shownPath(destination_), [&] {
        try {
            EFSLStat(session_.port(), session_.timeout(), session_.subsystem())
                .Execute(requestPath(destination_), mode, atime, mtime, ctime);
            return true;
        } catch (const CEFSException& e) {
            if (!e.IsDeviceError(Diag::Efs2::kNoEntry)) {
                throw;
            }
            return false;
        }
    });
    if (!exists) {
        return; // nothing there yet
    }
    if (!Diag::Efs2::isDirectoryMode(mode)) {
        throw Failure(kUsage, ArchiveNames::readableText(destination_) +
                                  " is no directory on the handset; name one to restore into");
    }
    destinationExists_ = true;
    present_.emplace("", ListedEntry{"", mode, 0, mtime});
    // The directories whose listings tell what is at the backup's names,
    // and what else is in its directories.
    std::set<std::string> needed{""};
    for (const auto& [path, archived] : archived_) {
        if (archived.entry.kind == Kind::Directory) {
            needed.insert(path);
        }
        for (std::string up = path; !up.empty();) {
            up = parentOf(up);
            needed.insert(up);
        }
    }
    listBelow("", needed);
}

void BackupComparison::listBelow(const std::string& relative, const std::set<std::string>& needed)
{
    Terminal::throwIfInterrupted();
    listed_.insert(relative);
    for (ListedEntry& entry : listDirectory(session_, handsetPathOf(relative))) {
        const std::string child = joinRelative(relative, entry.name);
        const bool descend = entry.isDirectory() && needed.count(child) != 0;
        present_.emplace(child, std::move(entry));
        if (descend) {
            listBelow(child, needed);
        }
    }
}

std::optional<std::string> BackupComparison::blocked(const std::string& relative) const
{
    for (std::string up = parentOf(relative); !up.empty(); up = parentOf(up)) {
        if (archivedLinks_.count(up) != 0) {
            return "it would be written through " + shown(up) + ", which the backup makes a link";
        }
        const auto archived = archived_.find(up);
        if (archived != archived_.end() && archived->second.entry.kind != Kind::Directory) {
            return shown(up) + " is no directory in the backup";
        }
        if (archived != archived_.end()) {
            continue; // restore makes it a directory, whatever is there now
        }
        if (const ListedEntry* now = present(up); now != nullptr && !now->isDirectory()) {
            return Diag::Efs2::isSymbolicLinkMode(now->mode)
                       ? "it would be written through " + shown(up) + ", a link on the handset"
                       : shown(up) + " is no directory on the handset";
        }
    }
    return std::nullopt;
}

bool BackupComparison::unreadable(const std::string& relative) const
{
    return std::any_of(unreadable_.begin(), unreadable_.end(), [&](const std::string& missing) {
        return missing.empty() || relative == missing || relative.starts_with(missing + "/");
    });
}

bool BackupComparison::sameContent(const std::string& relative, const Archived& archived)
{
    const std::string path = handsetPathOf(relative);
    const std::u16string shownText = shownPath(path);
    if (archived.entry.kind == Kind::Item) {
        std::vector<std::uint8_t> data(Diag::Efs2::kMaxItemData);
        const std::uint32_t length = session_.attempt("reading the item", shownText, [&] {
            return Diag::Efs::Get(session_.port(), session_.timeout(), session_.subsystem())
                .Execute(requestPath(path), data.data(), static_cast<std::uint32_t>(data.size()));
        });
        data.resize(length);
        return data == archived.itemData;
    }
    if (handsetHasMd5_) {
        bool refused = false;
        const Diag::Efs::Md5Digest digest =
            session_.attempt("computing the digest of", shownText, [&] {
                try {
                    return Diag::Efs::Md5Sum(session_.port(), session_.timeout(),
                                             session_.subsystem())
                        .Execute(requestPath(path));
                } catch (const CEFSException& e) {
                    if (e.GetCode() != EFSERR_REFUSED) {
                        throw;
                    }
                    refused = true;
                    return Diag::Efs::Md5Digest{};
                }
            });
        if (!refused) {
            return std::equal(digest.begin(), digest.end(), archived.digest.begin(),
                              archived.digest.end());
        }
        handsetHasMd5_ = false; // and read the files from now on
    }
    Rc::Pointer<Efs::FileBase> file = session_.attempt("opening", shownText, [&] {
        const std::int32_t fd =
            Diag::Efs::Open(session_.port(), session_.timeout(), session_.subsystem())
                .Execute(requestPath(path), Diag::Efs2::kOpenReadOnly, Diag::Efs2::kModeReadOnly);
        return Rc::makeHeap<Efs::File, Efs::FileBase>(fd, session_.port(), session_.timeout(),
                                                      session_.subsystem());
    });
    Platform::Md5 digest;
    std::vector<std::uint8_t> chunk(8 * Diag::Efs2::kMaxData);
    for (;;) {
        Terminal::throwIfInterrupted();
        const auto count = static_cast<std::uint32_t>(chunk.size());
        const std::uint32_t got =
            session_.attempt("reading", shownText, [&] { return file->Read(chunk.data(), count); });
        digest.update(std::span(chunk).first(got));
        if (got < count) {
            break;
        }
    }
    const Platform::Md5Digest own = digest.finish();
    return own == archived.digest;
}

std::vector<BackupComparison::Difference> BackupComparison::differences()
{
    using DKind = Difference::Kind;
    std::vector<Difference> found;
    for (const auto& [path, archived] : archived_) {
        Terminal::throwIfInterrupted();
        const ArchiveEntry& entry = archived.entry;
        const ListedEntry* now = path.empty() && !destinationExists_ ? nullptr : present(path);
        if (now == nullptr) {
            found.push_back({DKind::Removed, path, {}, {}});
            continue;
        }
        const std::optional<Kind> kind = kindOf(now->mode);
        if (kind != entry.kind) {
            found.push_back({DKind::Type, path, kindName(entry.kind),
                             kind ? kindName(*kind) : Diag::Efs2::modeTypeName(now->mode)});
            continue;
        }
        if (entry.kind == Kind::Link) {
            const std::string link = handsetPathOf(path);
            const std::string target = session_.attempt("reading the link", shownPath(link), [&] {
                return Diag::Efs::ReadLink(session_.port(), session_.timeout(),
                                           session_.subsystem())
                    .TargetBytes(requestPath(link));
            });
            if (target != entry.handsetLinkTarget) {
                found.push_back(
                    {DKind::Link, path, entry.linkTarget, ArchiveNames::readableText(target)});
            }
            continue; // a link's own mode is not the handset's to change
        }
        if ((entry.kind == Kind::File || entry.kind == Kind::Item) &&
            (now->size != entry.size || !sameContent(path, archived))) {
            found.push_back({DKind::Content, path, {}, {}});
        }
        if ((now->mode & Diag::Efs2::kModePermissionMask) != entry.permissions) {
            found.push_back({DKind::Mode, path, permissionsText(entry.permissions),
                             permissionsText(now->mode)});
        }
    }
    for (const std::string& path : extras()) {
        found.push_back({DKind::Added, path, {}, {}});
    }
    for (const std::string& path : unreadable_) {
        found.push_back({DKind::Unreadable, path, {}, {}});
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const Difference& a, const Difference& b) { return a.path < b.path; });
    return found;
}

std::vector<std::string> BackupComparison::extras() const
{
    std::vector<std::string> extras;
    for (const auto& [path, entry] : present_) {
        if (path.empty() || archived_.count(path) != 0 || unreadable(path)) {
            continue;
        }
        const auto parent = archived_.find(parentOf(path));
        if (parent != archived_.end() && parent->second.entry.kind == Kind::Directory &&
            listed_.count(parentOf(path)) != 0) {
            extras.push_back(path);
        }
    }
    return extras;
}

} // namespace VornakEfs
