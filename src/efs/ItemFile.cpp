#include "efs/ItemFile.h"

#include "diag/CEFSException.h"
#include "diag/Efs2.h"
#include "platform/Bstr.h"
#include "platform/ComError.h"
#include "platform/LocalServer.h"

namespace Efs {

namespace {

using Platform::ComPtr;

// The throw site of a count the service gives that the buffer cannot hold.
constexpr const char* kSiteFile = "ItemFile";
constexpr std::uint32_t kGetItemCountLine = 96;

// The item service of the file subsystem, and of every other one.
constexpr ULONG kFileSubsystemService = 18;
constexpr ULONG kOtherSubsystemService = 19;

template <class T>
void throwIfNull(const ComPtr<T>& pointer)
{
    if (!pointer) {
        throw _com_error(E_POINTER);
    }
}

} // namespace

ItemFile::ItemFile(IUnknown* port, const DevicePath& path, std::uint32_t timeout,
                   std::uint8_t subsysId)
    : FileBase(port, timeout, subsysId)
    , path_(path)
{
    ComPtr<IPortIdentity> identity;
    Platform::throwIfFailed(Platform::queryInterfaceNoThrow(port, IID_IPortIdentity, identity));
    ULONG portId = 0;
    Platform::throwIfFailed(identity->GetPortId(&portId), identity.get(), IID_IPortIdentity);

    ComPtr<IPortServer> server;
    {
        ComPtr<IUnknown> started;
        if (FAILED(Platform::createLocalServerNoThrow(CLSID_PortServer, started.put())) ||
            FAILED(Platform::queryInterfaceNoThrow(started.get(), IID_IPortServer, server))) {
            throw _com_error(E_POINTER); // no server
        }
    }
    ComPtr<IPortDirectory> directory;
    Platform::throwIfFailed(server->GetPortDirectory(directory.put()), server.get(),
                            IID_IPortServer);
    throwIfNull(directory);
    ComPtr<IServerPort> serverPort;
    Platform::throwIfFailed(directory->GetPort(portId, serverPort.put()), directory.get(),
                            IID_IPortDirectory);
    throwIfNull(serverPort);

    const ULONG selector =
        subsysId == Diag::Efs2::kFileSubsystem ? kFileSubsystemService : kOtherSubsystemService;
    ComPtr<IUnknown> service;
    Platform::throwIfFailed(serverPort->GetService(selector, 0, service.put()), serverPort.get(),
                            IID_IServerPort);
    throwIfNull(service);
    const HRESULT hr =
        Platform::queryInterfaceNoThrow(service.get(), IID_IItemService, itemService_);
    if (hr != E_NOINTERFACE) {
        Platform::throwIfFailed(hr);
    }
}

ItemFile::~ItemFile() = default;

IItemService& ItemFile::service() const
{
    if (!itemService_) {
        throw _com_error(E_POINTER);
    }
    return *itemService_.get();
}

void ItemFile::Open(const std::u16string& path, std::uint32_t, std::uint32_t)
{
    path_ = DevicePath(path);
}

std::uint32_t ItemFile::Write(const std::uint8_t* data, std::uint32_t count,
                              Marl::Efs::EFSFileProgress*)
{
    IItemService& items = service();
    const Platform::Bstr path(path_.path());
    Platform::throwIfFailed(items.PutItem(path.get(), count, data), &items, IID_IItemService);
    return count;
}

std::uint32_t ItemFile::Read(std::uint8_t* buffer, std::uint32_t count)
{
    IItemService& items = service();
    const Platform::Bstr path(path_.path());
    ULONG delivered = count;
    Platform::throwIfFailed(items.GetItem(path.get(), &delivered, buffer), &items,
                            IID_IItemService);
    // More than the buffer holds is no count of bytes in it: the caller would
    // copy, or report to its own caller, past what it asked for.
    if (delivered > count) {
        throw CEFSException("GetItem", EFSERR_BAD_RESPONSE, kGetItemCountLine, kSiteFile);
    }
    return delivered;
}

std::uint32_t ItemFile::Seek(std::uint32_t offset, std::uint32_t)
{
    return offset;
}

std::uint32_t ItemFile::Size()
{
    return sizeFromStat();
}

void ItemFile::Stat(std::uint32_t* mode, std::uint32_t* size, std::uint32_t* nlink,
                    std::uint32_t* atime, std::uint32_t* mtime, std::uint32_t* ctime)
{
    IItemService& items = service();
    const Platform::Bstr path(path_.path());
    ULONG values[6] = {};
    Platform::throwIfFailed(items.StatItem(path.get(), &values[0], &values[1], &values[2],
                                           &values[3], &values[4], &values[5]),
                            &items, IID_IItemService);
    storeStat(values, mode, size, nlink, atime, mtime, ctime);
}

} // namespace Efs
