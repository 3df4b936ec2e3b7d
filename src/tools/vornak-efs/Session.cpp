#include "tools/vornak-efs/Session.h"

#include "diag/DeviceError.h"
#include "diag/EFSChmod.h"
#include "diag/EFSDelTree.h"
#include "diag/EFSGet.h"
#include "diag/EFSLStat.h"
#include "diag/EFSMkDir.h"
#include "diag/EFSOpen.h"
#include "diag/EFSPut.h"
#include "diag/EFSReadLink.h"
#include "diag/EFSRename.h"
#include "diag/EFSRmDir.h"
#include "diag/EFSStat.h"
#include "diag/EFSSymlink.h"
#include "diag/EFSTruncate.h"
#include "diag/EFSUnlink.h"
#include "efs/EFSDir.h"
#include "efs/File.h"
#include "tools/vornak-efs/EntryName.h"
#include "tools/vornak-efs/Text.h"

#include <algorithm>

namespace VornakEfs {

namespace {

bool isDeviceError(const CEFSException& e)
{
    return e.GetCode() >= 2 && e.GetCode() <= EFSERR_DEVICE_UNKNOWN;
}

} // namespace

Session::Session(Platform::ComPtr<IDiagPort> port, std::uint32_t timeoutMs, std::uint8_t subsystem,
                 std::size_t listingLimit)
    : watch_(PortWatch::create(std::move(port)))
    , port_(watch_.get())
    , timeout_(timeoutMs)
    , subsystem_(subsystem)
    , listingLimit_(listingLimit)
{}

Session::Attributes Session::stat(const std::u16string& path, bool withSize)
{
    Attributes attributes;
    attempt("looking up", path, [&] {
        EFSLStat(port_.get(), timeout_, subsystem_)
            .Execute(path, attributes.mode, attributes.accessTime, attributes.modificationTime,
                     attributes.creationTime);
    });
    if (withSize && attributes.isFile()) {
        // Only an open file tells its size. A file the handset will not open
        // for reading keeps its size to itself; the port failing is another
        // matter.
        try {
            const std::int32_t fd =
                Diag::Efs::Open(port_.get(), timeout_, subsystem_)
                    .Execute(path, Diag::Efs2::kOpenReadOnly, Diag::Efs2::kModeReadOnly);
            auto file =
                Rc::makeHeap<Efs::File, Efs::FileBase>(fd, port_.get(), timeout_, subsystem_);
            std::uint32_t mode = 0, size = 0, links = 0, atime = 0, mtime = 0, ctime = 0;
            file->Stat(&mode, &size, &links, &atime, &mtime, &ctime);
            attributes.size = size;
            attributes.linkCount = links;
        } catch (const CEFSException& e) {
            if (!isDeviceError(e)) {
                fail(e, "reading the size of", path);
            }
        }
    }
    return attributes;
}

std::optional<Session::Attributes> Session::find(const std::u16string& path)
{
    Attributes attributes;
    try {
        EFSLStat(port_.get(), timeout_, subsystem_)
            .Execute(path, attributes.mode, attributes.accessTime, attributes.modificationTime,
                     attributes.creationTime);
    } catch (const CEFSException& e) {
        if (e.IsDeviceError(Diag::Efs2::kNoEntry)) {
            return std::nullopt;
        }
        fail(e, "looking up", path);
    }
    return attributes;
}

std::vector<Marl::Common::EfsReadDirEntry> Session::readDirectory(const std::u16string& path,
                                                                  std::u16string_view shown)
{
    try {
        return attempt("listing", shown, [&] {
            EFSDir directory(port_.get(), timeout_, subsystem_);
            directory.OpenDir(path);
            return directory.ReadAtMost(listingLimit_);
        });
    } catch (const Efs::ListingTooLong& e) {
        throw Failure(kHandsetFailure, "The listing of " + printableName(shown) + " went past " +
                                           std::to_string(e.limit()) +
                                           " entries without an end; stopped there "
                                           "(--listing-limit sets how many a directory may have)");
    }
}

std::vector<Session::Entry> Session::list(const std::u16string& path)
{
    const std::vector<Marl::Common::EfsReadDirEntry> read = readDirectory(path, path);
    std::vector<Entry> entries;
    entries.reserve(read.size());
    for (const auto& found : read) {
        Entry entry;
        entry.name = found.name();
        entry.isDirectory = found.type() == Marl::Common::EfsReadDirEntry::kTypeDirectory ||
                            Diag::Efs2::isDirectoryMode(found.mode());
        // A handset may list its directory's own links; a walk must not follow
        // them. Anything else under those names is for the caller to refuse.
        if (entry.isDirectory && found.namesSelfOrParent()) {
            continue;
        }
        entry.attributes.mode = found.mode();
        if (!entry.isDirectory) {
            entry.attributes.size = found.size();
        }
        entry.attributes.accessTime = found.accessTime();
        entry.attributes.modificationTime = found.modificationTime();
        entry.attributes.creationTime = found.creationTime();
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries;
}

Rc::Pointer<Efs::FileBase> Session::openForReading(const std::u16string& path)
{
    return attempt("opening", path, [&] {
        const std::int32_t fd =
            Diag::Efs::Open(port_.get(), timeout_, subsystem_)
                .Execute(path, Diag::Efs2::kOpenReadOnly, Diag::Efs2::kModeReadOnly);
        return Rc::makeHeap<Efs::File, Efs::FileBase>(fd, port_.get(), timeout_, subsystem_);
    });
}

Rc::Pointer<Efs::FileBase> Session::createForWriting(const std::u16string& path)
{
    return attempt("creating", path, [&] {
        const std::int32_t fd =
            Diag::Efs::Open(port_.get(), timeout_, subsystem_)
                .Execute(path, Diag::Efs2::kOpenCreateForWriting, Diag::Efs2::kModeReadWrite);
        return Rc::makeHeap<Efs::File, Efs::FileBase>(fd, port_.get(), timeout_, subsystem_);
    });
}

void Session::makeDirectory(const std::u16string& path, std::uint16_t mode)
{
    attempt("making the directory", path,
            [&] { CEFSMkDir(port_.get(), timeout_, subsystem_).Execute(path, mode); });
}

void Session::removeDirectory(const std::u16string& path)
{
    attempt("removing the directory", path,
            [&] { Diag::Efs::Commands::RmDir(port_.get(), timeout_, subsystem_).Execute(path); });
}

void Session::remove(const std::u16string& path)
{
    attempt("removing", path, [&] { EFSUnlink(port_.get(), timeout_, subsystem_).Execute(path); });
}

void Session::rename(const std::u16string& from, const std::u16string& to)
{
    attempt("renaming", from + u" to " + to,
            [&] { CEFSRename(port_.get(), timeout_, subsystem_).Execute(from, to); });
}

Session::Attributes Session::statFollowing(const std::u16string& path)
{
    const Diag::Efs::FileStatus status = attemptOptional("stat", "looking up", path, [&] {
        return Diag::Efs::Stat(port_.get(), timeout_, subsystem_).Execute(path);
    });
    Attributes attributes;
    attributes.mode = status.mode;
    attributes.size = status.size;
    attributes.linkCount = status.linkCount;
    attributes.accessTime = status.accessTime;
    attributes.modificationTime = status.modificationTime;
    attributes.creationTime = status.changeTime;
    return attributes;
}

void Session::changeMode(const std::u16string& path, std::uint16_t mode)
{
    attemptOptional("chmod", "changing the mode of", path, [&] {
        Diag::Efs::Chmod(port_.get(), timeout_, subsystem_).Execute(path, mode);
    });
}

void Session::makeLink(const std::u16string& target, const std::u16string& link)
{
    attemptOptional("symbolic links", "making the link", link, [&] {
        Diag::Efs::Symlink(port_.get(), timeout_, subsystem_).Execute(target, link);
    });
}

std::u16string Session::readLink(const std::u16string& path)
{
    return attemptOptional("symbolic links", "reading the link", path, [&] {
        return Diag::Efs::ReadLink(port_.get(), timeout_, subsystem_).Execute(path);
    });
}

Diag::Efs::FileSystemStatus Session::fileSystem(const std::u16string& path)
{
    return attemptOptional("df", "asking for the file system of", path, [&] {
        return Diag::Efs::StatFs(port_.get(), timeout_, subsystem_).Execute(path);
    });
}

Diag::Efs::HelloParameters Session::hello()
{
    return attemptOptional("EFS2 sessions", "greeting", u"the handset", [&] {
        return Diag::Efs::Hello(port_.get(), timeout_, subsystem_).Execute();
    });
}

Diag::Efs::FileSystemLimits Session::limits()
{
    return attemptOptional("queries of its limits", "asking for", u"the limits", [&] {
        return Diag::Efs::Query(port_.get(), timeout_, subsystem_).Execute();
    });
}

Diag::Efs::DeviceInfo Session::deviceInfo()
{
    return attemptOptional("device information", "asking for", u"the flash device", [&] {
        return Diag::Efs::DevInfo(port_.get(), timeout_, subsystem_).Execute();
    });
}

Diag::Efs::Md5Digest Session::digest(const std::u16string& path)
{
    return attemptOptional("md5sum", "computing the digest of", path, [&] {
        return Diag::Efs::Md5Sum(port_.get(), timeout_, subsystem_).Execute(path);
    });
}

void Session::truncate(const std::u16string& path, std::uint32_t length)
{
    attemptOptional("truncate", "truncating", path, [&] {
        Diag::Efs::Truncate(port_.get(), timeout_, subsystem_).Execute(path, length);
    });
}

void Session::removeTree(const std::u16string& path)
{
    attemptOptional("rm -r in one request", "removing the tree", path,
                    [&] { Diag::Efs::DelTree(port_.get(), timeout_, subsystem_).Execute(path); });
}

std::vector<std::uint8_t> Session::getItem(const std::u16string& path)
{
    std::vector<std::uint8_t> data(Diag::Efs2::kMaxItemData);
    const std::uint32_t length = attemptOptional("item files", "reading the item", path, [&] {
        return Diag::Efs::Get(port_.get(), timeout_, subsystem_)
            .Execute(path, data.data(), static_cast<std::uint32_t>(data.size()));
    });
    data.resize(length);
    return data;
}

void Session::putItem(const std::u16string& path, std::span<const std::uint8_t> data)
{
    attemptOptional("item files", "writing the item", path, [&] {
        Diag::Efs::Put(port_.get(), timeout_, subsystem_)
            .Execute(path, data, Diag::Efs2::kOpenCreateForWriting, Diag::Efs2::kModeReadWrite);
    });
}

void Session::unsupported(std::string_view feature)
{
    throw Failure(kNotSupported, "this handset does not support " + std::string(feature));
}

void Session::refuse(std::uint32_t deviceError, std::string_view action, std::u16string_view path)
{
    const Description description =
        describeCode(CEFSException::CodeFromDeviceError(deviceError), std::nullopt, 0);
    throw Failure(description.exitCode,
                  description.words + " " + std::string(action) + " " + printableName(path));
}

bool Session::lacksCommand(const CEFSException& e) const
{
    return e.GetCode() == EFSERR_REFUSED || watch_->lastAnswer() == PortWatch::Answer::ErrorPacket;
}

void Session::fail(const CEFSException& e, std::string_view action, std::u16string_view path) const
{
    if (watch_->lastAnswer() == PortWatch::Answer::Refused) {
        // Every handset has the thirteen: one that refuses them speaks EFS2 on
        // the other subsystem, if at all.
        const int other = subsystem_ == Diag::Efs2::kFileSubsystem
                              ? Diag::Efs2::kAlternateFileSubsystem
                              : Diag::Efs2::kFileSubsystem;
        throw Failure(kNotSupported, "The handset refused the request (it may answer on --subsys " +
                                         std::to_string(other) + ") " + std::string(action) + " " +
                                         printableName(path));
    }
    const Description description = describeCode(e.GetCode(), watch_->lastFailure(), timeout_);
    throw Failure(description.exitCode,
                  description.words + " " + std::string(action) + " " + printableName(path));
}

} // namespace VornakEfs
