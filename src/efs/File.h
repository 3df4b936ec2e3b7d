// A handset file open on a device descriptor: its bytes move in EFS2 READ and
// WRITE packets of at most 512 bytes, strictly one after the other.
#pragma once

#include "efs/FileBase.h"

namespace Efs {

class File : public FileBase {
public:
    // Wraps a descriptor that is already open; nothing is sent.
    File(std::int32_t fd, IUnknown* port, std::uint32_t timeout, std::uint8_t subsysId);
    // A file not open yet, on a port already asked for IDiagPort; Open
    // opens it.
    File(Platform::ComPtr<IDiagPort> port, std::uint32_t timeout, std::uint8_t subsysId);
    // Closes the descriptor on the handset when it is still open; a failed
    // close is not reported.
    ~File() override;

    // Opens `path` (parsed as a handset path) with one EFS2 OPEN.
    void Open(const std::u16string& path, std::uint32_t oflag, std::uint32_t mode) override;
    // Writes in packets at the file position, reporting progress after each;
    // stops early when the handset takes less than a whole packet.
    std::uint32_t Write(const std::uint8_t* data, std::uint32_t count,
                        Marl::Efs::EFSFileProgress* progress) override;
    // Reads in packets at the file position until `count` bytes or a short
    // packet (the end of the file); a packet answered for another offset is
    // tried again twice, after a line in the port's log and a pause of
    // `timeout` milliseconds.
    std::uint32_t Read(std::uint8_t* buffer, std::uint32_t count) override;
    // Moves the position (32-bit, wrapping); a move is checked by the handset
    // with a READ of 0 bytes at the new position.
    std::uint32_t Seek(std::uint32_t offset, std::uint32_t origin) override;
    std::uint32_t Size() override;
    void Attach(std::int32_t fd) override;
    // Gives up the descriptor without closing it.
    std::int32_t Detach() override;
    void Stat(std::uint32_t* mode, std::uint32_t* size, std::uint32_t* nlink, std::uint32_t* atime,
              std::uint32_t* mtime, std::uint32_t* ctime) override;

    bool isOpen() const { return isOpen_; }
    // The descriptor while the file is open.
    std::int32_t descriptor() const { return fd_; }

    // The text written to the port's log before a READ is tried again.
    static constexpr const char16_t* kOffsetMismatchLogLine =
        u"File::Read sequence number mismatch in last EFS2 read";

private:
    bool isOpen_;
    std::int32_t fd_;
};

} // namespace Efs
