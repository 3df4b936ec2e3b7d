#include "diag/EfsReadDirEntry.h"

namespace Marl::Common {

EfsReadDirEntry::EfsReadDirEntry(std::u16string name, std::uint32_t type, std::uint32_t mode,
                                 std::uint32_t size, std::uint32_t accessTime,
                                 std::uint32_t modificationTime, std::uint32_t creationTime)
    : type_(type)
    , mode_(mode)
    , size_(size)
    , accessTime_(accessTime)
    , modificationTime_(modificationTime)
    , creationTime_(creationTime)
    , name_(std::move(name))
{}

EfsReadDirEntry::~EfsReadDirEntry() = default;

} // namespace Marl::Common
