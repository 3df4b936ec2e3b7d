// The handset's file system as the tool uses it: one port, one timeout, one
// subsystem, and the operations of the verbs on top of the core's commands,
// device files and directory reader. Every failure leaves as a Failure whose
// words say what went wrong and with which path.
#pragma once

#include "diag/CEFSException.h"
#include "diag/Efs2.h"
#include "efs/FileBase.h"
#include "mem/RefCount.h"
#include "platform/ComPtr.h"
#include "tools/vornak-efs/Failure.h"
#include "tools/vornak-efs/PortWatch.h"

#include <cstddef>
#include <cstdint>
#include <optional>
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

    // Opens a file for reading, or creates (or empties) it for writing.
    Rc::Pointer<Efs::FileBase> openForReading(const std::u16string& path);
    Rc::Pointer<Efs::FileBase> createForWriting(const std::u16string& path);

    void makeDirectory(const std::u16string& path, std::uint16_t mode);
    void removeDirectory(const std::u16string& path);
    void remove(const std::u16string& path);
    void rename(const std::u16string& from, const std::u16string& to);

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

private:
    [[noreturn]] void fail(const CEFSException& e, std::string_view action,
                           std::u16string_view path) const;

    Platform::ComPtr<PortWatch> watch_;
    Platform::ComPtr<IDiagPort> port_;
    std::uint32_t timeout_;
    std::uint8_t subsystem_;
    std::size_t listingLimit_;
};

} // namespace VornakEfs
