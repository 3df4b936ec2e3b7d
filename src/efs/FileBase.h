// One file of the handset, reference counted: the operations every kind of
// device file offers, with the base's own do-nothing behaviour.
#pragma once

#include "diag/PortInterfaces.h"
#include "efs/EFSFileProgress.h"
#include "mem/RefCount.h"
#include "platform/ComPtr.h"

#include <cstdint>
#include <string>

namespace Efs {

enum SeekOrigin : std::uint32_t { SeekSet = 0, SeekCurrent = 1, SeekEnd = 2 };

class FileBase : public Rc::IRefCount {
public:
    // Takes `port`'s IDiagPort; a port without one leaves it null (its
    // transactions then fail with code 533). Any other failure of the query
    // throws _com_error.
    FileBase(IUnknown* port, std::uint32_t timeout, std::uint8_t subsysId);
    // Keeps `port` as it is, with no query.
    FileBase(Platform::ComPtr<IDiagPort> port, std::uint32_t timeout, std::uint8_t subsysId);
    ~FileBase() override;
    FileBase(const FileBase&) = delete;
    FileBase& operator=(const FileBase&) = delete;

    virtual void Open(const std::u16string& path, std::uint32_t oflag, std::uint32_t mode);
    virtual std::uint32_t Write(const std::uint8_t* data, std::uint32_t count,
                                Marl::Efs::EFSFileProgress* progress);
    // Reads at most `count` bytes into `buffer`; returns how many, never more
    // than `count`, whatever the handset or the service says.
    virtual std::uint32_t Read(std::uint8_t* buffer, std::uint32_t count);
    virtual std::uint32_t Seek(std::uint32_t offset, std::uint32_t origin);
    virtual std::uint32_t Size();
    virtual void Attach(std::int32_t fd);
    virtual std::int32_t Detach();
    // Mode, size, link count, and access, modification and creation times in
    // seconds since 1970-01-01 00:00:00.
    virtual void Stat(std::uint32_t* mode, std::uint32_t* size, std::uint32_t* nlink,
                      std::uint32_t* atime, std::uint32_t* mtime, std::uint32_t* ctime);
    virtual std::uint32_t Total();

    std::uint32_t position() const { return position_; }

protected:
    // The size as the derived class's Stat reports it.
    std::uint32_t sizeFromStat()
    {
        std::uint32_t size = 0;
        Stat(nullptr, &size, nullptr, nullptr, nullptr, nullptr);
        return size;
    }

    // Hands the six values of a stat, in Stat's order, to the targets the
    // caller asked for (any of them may be null).
    template <class Value>
    static void storeStat(const Value (&values)[6], std::uint32_t* mode, std::uint32_t* size,
                          std::uint32_t* nlink, std::uint32_t* atime, std::uint32_t* mtime,
                          std::uint32_t* ctime)
    {
        std::uint32_t* targets[6] = {mode, size, nlink, atime, mtime, ctime};
        for (int i = 0; i < 6; ++i) {
            if (targets[i] != nullptr) {
                *targets[i] = static_cast<std::uint32_t>(values[i]);
            }
        }
    }

    std::uint32_t timeout_;
    std::uint8_t subsysId_;
    std::uint32_t position_ = 0;
    std::uint32_t total_ = 0;
    std::uint32_t transferred_ = 0;
    Platform::ComPtr<IDiagPort> port_;
};

} // namespace Efs
