// The numbers of the EFS2 subsystem of the handset's diagnostic protocol.
//
// Every packet starts with the same four bytes: the diagnostic command 75
// (subsystem dispatch), the subsystem identifier, and the EFS2 command code as
// a 16-bit little-endian number. A normal response repeats the request's four
// bytes; a handset that rejects a request outright answers with the error
// response instead.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Diag::Efs2 {

inline constexpr std::uint8_t kSubsystemDispatch = 75; // 'K'
inline constexpr std::uint8_t kFileSubsystem = 19;     // the usual EFS2 subsystem
inline constexpr std::uint8_t kAlternateFileSubsystem = 62;

enum Command : std::uint16_t {
    Hello = 0, // session commands that other diagnostic clients send first
    Query = 1,
    Open = 2,
    Close = 3,
    Read = 4,
    Write = 5,
    Symlink = 6,
    ReadLink = 7,
    Unlink = 8,
    MkDir = 9,
    RmDir = 10,
    OpenDir = 11,
    ReadDir = 12,
    CloseDir = 13,
    Rename = 14,
    Stat = 15, // follows symbolic links, unlike LSTAT
    LStat = 16,
    FStat = 17,
    Chmod = 18,
    StatFs = 19,
    Access = 20,
    DevInfo = 21,
    ErrorResponse = 28, // sent by the handset only
    // The later commands carry a 16-bit sequence number after the header,
    // which the response repeats (PUT's response carries 0).
    DelTree = 37,
    Put = 38, // item files: written and read whole in one packet
    Get = 39,
    Truncate = 40,
    FTruncate = 41,
    StatVfsV2 = 42,
    Md5Sum = 43,
};

inline constexpr std::size_t kHeaderSize = 4;
inline constexpr std::uint32_t kMaxData = 512;  // payload of one READ or WRITE
inline constexpr std::uint32_t kMaxPath = 1024; // bytes of a path, without its NUL
inline constexpr std::size_t kErrorResponseSize = 8;
inline constexpr std::uint32_t kMaxItemData = 1024; // bytes of an item file in one PUT or GET
inline constexpr std::size_t kMd5Size = 16;

// Open flags in the handset's encoding (those of POSIX on Linux).
namespace OpenFlag {
inline constexpr std::uint32_t kAccessMask = 0x3;
inline constexpr std::uint32_t kReadOnly = 0x0;
inline constexpr std::uint32_t kWriteOnly = 0x1;
inline constexpr std::uint32_t kReadWrite = 0x2;
inline constexpr std::uint32_t kCreate = 0x40;
inline constexpr std::uint32_t kExclusive = 0x80;
inline constexpr std::uint32_t kTruncate = 0x200;
inline constexpr std::uint32_t kAppend = 0x400;
} // namespace OpenFlag

// Open flags and modes the system sends.
inline constexpr std::uint32_t kOpenReadOnly = OpenFlag::kReadOnly;
inline constexpr std::uint32_t kOpenCreateForWriting =
    OpenFlag::kWriteOnly | OpenFlag::kCreate | OpenFlag::kTruncate;
inline constexpr std::uint32_t kModeReadOnly = 0444;
inline constexpr std::uint32_t kModeReadWrite = 0666;

// Type bits of a mode, as POSIX has them.
inline constexpr std::uint32_t kModeTypeMask = 0xF000;
inline constexpr std::uint32_t kModeFifo = 0x1000;
inline constexpr std::uint32_t kModeCharacterDevice = 0x2000;
inline constexpr std::uint32_t kModeDirectory = 0x4000;
inline constexpr std::uint32_t kModeBlockDevice = 0x6000;
inline constexpr std::uint32_t kModeRegular = 0x8000;
inline constexpr std::uint32_t kModeSymbolicLink = 0xA000;
inline constexpr std::uint32_t kModeSocket = 0xC000;
inline constexpr std::uint32_t kModeItemFile = 0xE000; // the handset's own type
inline constexpr std::uint32_t kModePermissionMask = 07777;

// Entry types of a READDIR response. An item file lists as a file; its mode
// tells it apart.
enum EntryType : std::uint32_t {
    kEntryFile = 0,
    kEntryDirectory = 1,
    kEntrySymbolicLink = 2,
};

// ACCESS's permission bits; 0 asks only whether the name exists.
inline constexpr std::uint8_t kAccessExists = 0;
inline constexpr std::uint8_t kAccessExecute = 1;
inline constexpr std::uint8_t kAccessWrite = 2;
inline constexpr std::uint8_t kAccessRead = 4;

constexpr bool isDirectoryMode(std::uint32_t mode)
{
    return (mode & kModeTypeMask) == kModeDirectory;
}
constexpr bool isRegularMode(std::uint32_t mode)
{
    return (mode & kModeTypeMask) == kModeRegular;
}
constexpr bool isSymbolicLinkMode(std::uint32_t mode)
{
    return (mode & kModeTypeMask) == kModeSymbolicLink;
}
constexpr bool isItemFileMode(std::uint32_t mode)
{
    return (mode & kModeTypeMask) == kModeItemFile;
}

} // namespace Diag::Efs2
