#include "diag/EfsReadDirEntry.h"

#include "lang/Transcode.h"

#include <stdexcept>

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
{
    try {
        handsetName_ = Lang::Platform::transcode(name_);
    } catch (const std::invalid_argument&) {
        // Text no handset could list: it has no bytes.
    }
}

EfsReadDirEntry::EfsReadDirEntry(std::string handsetName, std::uint32_t type, std::uint32_t mode,
                                 std::uint32_t size, std::uint32_t accessTime,
                                 std::uint32_t modificationTime, std::uint32_t creationTime)
    : type_(type)
    , mode_(mode)
    , size_(size)
    , accessTime_(accessTime)
    , modificationTime_(modificationTime)
    , creationTime_(creationTime)
    , name_(Lang::Platform::transcode(std::string_view(handsetName)))
    , handsetName_(std::move(handsetName))
{}

EfsReadDirEntry::~EfsReadDirEntry() = default;

} // namespace Marl::Common
