// One entry of a handset directory, as READDIR yields it and as the directory
// reader, the folder and the enumerator pass it on. Entries are values.
#pragma once

#include <cstdint>
#include <string>

namespace Marl::Common {

class EfsReadDirEntry {
public:
    EfsReadDirEntry(std::u16string name, std::uint32_t type, std::uint32_t mode, std::uint32_t size,
                    std::uint32_t accessTime, std::uint32_t modificationTime,
                    std::uint32_t creationTime);
    // An entry as READDIR lists it: the name is the handset's Windows-1252
    // bytes, kept beside their decoded text.
    EfsReadDirEntry(std::string handsetName, std::uint32_t type, std::uint32_t mode,
                    std::uint32_t size, std::uint32_t accessTime, std::uint32_t modificationTime,
                    std::uint32_t creationTime);
    EfsReadDirEntry(const EfsReadDirEntry&) = default;
    EfsReadDirEntry& operator=(const EfsReadDirEntry&) = default;
    virtual ~EfsReadDirEntry();

    const std::u16string& name() const { return name_; }
    // The name's bytes as the handset keeps them. Decoding "&#x...;" is not
    // one-to-one, so these, not name(), tell the handset which entry is meant.
    // Empty for an entry made from text that is not valid UTF-16.
    const std::string& handsetName() const { return handsetName_; }
    // 0 for a file, 1 for a directory, as the handset reports it.
    std::uint32_t type() const { return type_; }
    std::uint32_t mode() const { return mode_; }
    std::uint32_t size() const { return size_; }
    // Seconds since 1970-01-01 00:00:00, as the handset keeps them.
    std::uint32_t accessTime() const { return accessTime_; }
    std::uint32_t modificationTime() const { return modificationTime_; }
    std::uint32_t creationTime() const { return creationTime_; }

    // Whether the entry is "." or "..", the directory itself or its parent,
    // which a walk through the tree must not follow.
    bool namesSelfOrParent() const { return name_ == u"." || name_ == u".."; }

    static constexpr std::uint32_t kTypeFile = 0;
    static constexpr std::uint32_t kTypeDirectory = 1;

private:
    std::uint32_t type_;
    std::uint32_t mode_;
    std::uint32_t size_;
    std::uint32_t accessTime_;
    std::uint32_t modificationTime_;
    std::uint32_t creationTime_;
    std::u16string name_;
    std::string handsetName_;
};

} // namespace Marl::Common
