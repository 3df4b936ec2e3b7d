// Reads every entry of one handset directory: OPENDIR, READDIR until the
// handset returns the empty name, and CLOSEDIR when the reader goes.
#pragma once

#include "diag/EfsReadDirEntry.h"
#include "diag/PortInterfaces.h"
#include "platform/ComPtr.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace Efs {

// A handset listed more entries than the reader was told to take: one that
// never ends a listing, or a directory beyond any a tool should walk.
class ListingTooLong : public std::length_error {
public:
    explicit ListingTooLong(std::size_t limit)
        : std::length_error("listing beyond " + std::to_string(limit) + " entries")
        , limit_(limit)
    {}
    std::size_t limit() const { return limit_; }

private:
    std::size_t limit_;
};

} // namespace Efs

class EFSDir {
public:
    // Takes `port`'s IDiagPort as the device files do.
    EFSDir(IUnknown* port, std::uint32_t timeout, std::uint8_t subsysId);
    // Closes an open directory; a failed close is never reported.
    virtual ~EFSDir();
    EFSDir(const EFSDir&) = delete;
    EFSDir& operator=(const EFSDir&) = delete;

    // Opens `path` exactly as given. Throws code 522 when already open.
    void OpenDir(const std::u16string& path);

    // Every remaining entry, in the handset's order. Each READDIR asks for the
    // number after the one the handset gave the previous entry.
    std::vector<Marl::Common::EfsReadDirEntry> ReadAll();
    // As ReadAll, but throws Efs::ListingTooLong when the handset lists an
    // entry beyond the first `limit`: a handset that never ends a listing
    // cannot hold the caller for ever.
    std::vector<Marl::Common::EfsReadDirEntry> ReadAtMost(std::size_t limit);

private:
    bool isOpen_ = false;
    std::uint32_t dirHandle_ = 0xFFFFFFFF;
    std::uint32_t timeout_;
    std::uint8_t subsysId_;
    Platform::ComPtr<IDiagPort> port_;
};
