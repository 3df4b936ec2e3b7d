// The error numbers the handset puts into its responses: the POSIX numbers of
// its file system, the same on every handset, and the file commands' own
// numbers above 0x40000000. 0 is success. A CEFSException carries them as
// codes one higher (CEFSException::IsDeviceError).
#pragma once

#include <cstdint>

namespace Diag::Efs2 {

enum DeviceError : std::uint32_t {
    kSuccess = 0,
    kNoEntry = 2,               // ENOENT
    kBadDescriptor = 9,         // EBADF
    kAccessDenied = 13,         // EACCES
    kBusy = 16,                 // EBUSY: the root cannot be removed or renamed
    kExists = 17,               // EEXIST
    kNotDirectory = 20,         // ENOTDIR
    kIsDirectory = 21,          // EISDIR
    kInvalidArgument = 22,      // EINVAL, also the number of the error response
    kTooManyOpen = 24,          // EMFILE
    kFileTooBig = 27,           // EFBIG
    kNoSpace = 28,              // ENOSPC
    kOutOfRange = 34,           // ERANGE: an item larger than the room a GET offers
    kNameTooLong = 36,          // ENAMETOOLONG
    kNotEmpty = 39,             // ENOTEMPTY
    kLoop = 40,                 // ELOOP: too many symbolic links in one path
    kNotNandFlash = 0x4000000B, // DEV_INFO of a handset without NAND flash
};

} // namespace Diag::Efs2
