// The error numbers the handset puts into its responses: the POSIX numbers of
// its file system, the same on every handset. 0 is success. A CEFSException
// carries them as codes one higher (CEFSException::IsDeviceError).
#pragma once

#include <cstdint>

namespace Diag::Efs2 {

enum DeviceError : std::uint32_t {
    kSuccess = 0,
    kNoEntry = 2,          // ENOENT
    kBadDescriptor = 9,    // EBADF
    kAccessDenied = 13,    // EACCES
    kBusy = 16,            // EBUSY: the root cannot be removed or renamed
    kExists = 17,          // EEXIST
    kNotDirectory = 20,    // ENOTDIR
    kIsDirectory = 21,     // EISDIR
    kInvalidArgument = 22, // EINVAL, also the number of the error response
    kTooManyOpen = 24,     // EMFILE
    kFileTooBig = 27,      // EFBIG
    kNoSpace = 28,         // ENOSPC
    kNameTooLong = 36,     // ENAMETOOLONG
    kNotEmpty = 39,        // ENOTEMPTY
};

} // namespace Diag::Efs2
