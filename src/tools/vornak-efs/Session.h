// The handset's file system as the tool uses it: one port, one timeout, one
// subsystem, and the operations of the verbs on top of the core's commands,
// device files and directory reader. Every failure leaves as a Failure whose
// words say what went wrong and with which path.
#pragma once

#include "diag/CEFSException.h"
#include "diag/EFSDevInfo.h"
#include "diag/EFSHello.h"
#include "diag/EFSMd5Sum.h"
#include "diag/EFSQuery.h"
#include "diag/EFSStatFs.h"
#include "diag/Efs2.h"
#include "diag/EfsReadDirEntry.h"
#include "efs/FileBase.h"
#include "mem/RefCount.h"
#include "platform/ComPtr.h"
#include "tools/vornak-efs/Failure.h"
#include "tools/vornak-efs/PortWatch.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace VornakEfs {

class Session {
public:
    // The most entries a listing may have before the tools take it for a
    // handset that never ends one: far above any real directory.
    static constexpr std::size_t kDefaultListingLimit = 65536;

    // Every transaction goes through `port` with `timeoutMs` and `subsystem`;
    // a listing stops with a Failure beyond `listingLimit` entries.
    Session(Platform::ComPtr<IDiagPort> port, std::uint32_t timeoutMs, std::uint8_t subsystem,
            std::size_t listingLimit = kDefaultListingLimit);

    // What the handset reports of one name. Size and link count are known
    // for files only (LSTAT carries neither; they come from FSTAT).
    struct Attributes {
        std::uint32_t mode = 0;
        std::optional<std::uint32_t> size;
        std::optional<std::uint32_t> linkCount;
        std::uint32_t accessTime = 0;
        std::uint32_t modificationTime = 0;
        std::uint32_t creationTime = 0;

        bool isDirectory() const { return Diag::Efs2::isDirectoryMode(mode); }
        bool isFile() const { return Diag::Efs2::isRegularMode(mode); }
        bool isLink() const { return Diag::Efs2::isSymbolicLinkMode(mode); }
        bool isItem() const { return Diag::Efs2::isItemFileMode(mode); }
    };
    struct Entry {
        std::u16string name;
        bool isDirectory = false;
        Attributes attributes;
    };

    // The attributes of `path`; for a file also its size and link count,
    // unless `withSize` is false.
    Attributes stat(const std::u16string& path, bool withSize = true);
    // As stat, but nothing when the handset has no such name.
    std::optional<Attributes> find(const std::u16string& path);
    // The entries of a directory, sorted by name, without the directory's
    // own links ("." and ".." listed as directories). Names are the
    // handset's, untrusted: see EntryName.h before making host files of them.
    std::vector<Entry> list(const std::u16string& path);
    // The directory `path` as the handset lists it, handset bytes and all;
    // `shown` names it in messages. Stops with a Failure beyond the listing
    // limit.
    std::vector<Marl::Common::EfsReadDirEntry> readDirectory(const std::u16string& path,
                                                             std::u16string_view shown);

    // Opens a file for reading, or creates (or empties) it for writing.
    Rc::Pointer<Efs::FileBase> openForReading(const std::u16string& path);
    Rc::Pointer<Efs::FileBase> createForWriting(const std::u16string& path);

    void makeDirectory(const std::u16string& path, std::uint16_t mode);
    void removeDirectory(const std::u16string& path);
    void remove(const std::u16string& path);
    void rename(const std::u16string& from, const std::u16string& to);

    // The commands beyond the thirteen, which a handset may lack: a handset
    // that refuses one (or answers it with the EFS2 error packet) fails it
    // with kNotSupported, "this handset does not support <what>".

    // The size of what `path` names through any links, and its link count.
    Attributes statFollowing(const std::u16string& path);
    void changeMode(const std::u16string& path, std::uint16_t mode);
    // `target` is kept as it is given, relative or absolute.
    void makeLink(const std::u16string& target, const std::u16string& link);
    std::u16string readLink(const std::u16string& path);
    Diag::Efs::FileSystemStatus fileSystem(const std::u16string& path);
    Diag::Efs::HelloParameters hello();
    Diag::Efs::FileSystemLimits limits();
    Diag::Efs::DeviceInfo deviceInfo();
    Diag::Efs::Md5Digest digest(const std::u16string& path);
    void truncate(const std::u16string& path, std::uint32_t length);
    void removeTree(const std::u16string& path);
    std::vector<std::uint8_t> getItem(const std::u16string& path);
    void putItem(const std::u16string& path, std::span<const std::uint8_t> data);

    // Runs `work`; a CEFSException from it becomes a Failure whose words end
    // with "<action> <path>", as in "No such file or directory (device
    // error 2) opening /x".
    template <class Work>
    decltype(auto) attempt(std::string_view action, std::u16string_view path, Work&& work)
    {
        try {
            return work();
        } catch (const CEFSException& e) {
            fail(e, action, path);
        }
    }

    IDiagPort* port() const { return port_.get(); }
    std::uint32_t timeout() const { return timeout_; }
    std::uint8_t subsystem() const { return subsystem_; }

    // As attempt, for a command the handset may lack: a refusal of it
    // becomes kNotSupported, "this handset does not support <feature>".
    template <class Work>
    decltype(auto) attemptOptional(std::string_view feature, std::string_view action,
                                   std::u16string_view path, Work&& work)
    {
        try {
            return work();
        } catch (const CEFSException& e) {
            if (lacksCommand(e)) {
                unsupported(feature);
            }
            fail(e, action, path);
        }
    }

    // Throws the Failure of a handset that lacks what `feature` needs.
    [[noreturn]] static void unsupported(std::string_view feature);
    // Throws the Failure the handset's error number `deviceError` makes, as
    // if it had failed `action` on `path`: for what the tool refuses before
    // it asks, in the handset's words.
    [[noreturn]] static void refuse(std::uint32_t deviceError, std::string_view action,
                                    std::u16string_view path);

private:
    [[noreturn]] void fail(const CEFSException& e, std::string_view action,
                           std::u16string_view path) const;
    // Whether `e` comes of a refusal of the command, or of the EFS2 error
    // packet a handset answers commands with that it does not know.
    bool lacksCommand(const CEFSException& e) const;

    Platform::ComPtr<PortWatch> watch_;
    Platform::ComPtr<IDiagPort> port_;
    std::uint32_t timeout_;
    std::uint8_t subsystem_;
    std::size_t listingLimit_;
};

} // namespace VornakEfs
