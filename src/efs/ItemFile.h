// A handset file reached by its path through the item service of the port
// server, a COM local server: every read, write and stat is one whole-file
// call. An item file keeps no descriptor and has no position.
#pragma once

#include "efs/FileBase.h"
#include "system/BasicPath.h"
#include "system/EfsPathTraits.h"

namespace Efs {

class ItemFile : public FileBase {
public:
    using DevicePath = System::BasicPath<Marl::Efs::PathTraits>;

    // Finds the item service that belongs to the client's port: the port's
    // identity, the port server, its port directory, the server's port, and
    // the service (selector 18 on subsystem 19, else 19). Throws _com_error:
    // E_POINTER for a null port or when no server starts, the query's result
    // for a port without IPortIdentity, and every failing call's result.
    ItemFile(IUnknown* port, const DevicePath& path, std::uint32_t timeout, std::uint8_t subsysId);
    ~ItemFile() override;

    // Takes `path` as the item's path; nothing is sent.
    void Open(const std::u16string& path, std::uint32_t oflag, std::uint32_t mode) override;
    // Puts the whole item; no progress is reported.
    std::uint32_t Write(const std::uint8_t* data, std::uint32_t count,
                        Marl::Efs::EFSFileProgress* progress) override;
    // Gets the item from its start into `buffer`; returns the bytes delivered,
    // never more than `count`: a service that claims more throws
    // CEFSException 514.
    std::uint32_t Read(std::uint8_t* buffer, std::uint32_t count) override;
    // Items have no position: returns `offset` and does nothing.
    std::uint32_t Seek(std::uint32_t offset, std::uint32_t origin) override;
    std::uint32_t Size() override;
    void Stat(std::uint32_t* mode, std::uint32_t* size, std::uint32_t* nlink, std::uint32_t* atime,
              std::uint32_t* mtime, std::uint32_t* ctime) override;

    const DevicePath& path() const { return path_; }

private:
    // The service, or _com_error(E_POINTER) when the server offered none.
    IItemService& service() const;

    DevicePath path_;
    Platform::ComPtr<IItemService> itemService_;
};

} // namespace Efs
