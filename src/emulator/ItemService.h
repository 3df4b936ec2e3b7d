// Whole files of an emulated handset by path, as the port server's item
// service offers them. A device error comes back as the HRESULT of the
// matching Windows error (a missing file is ERROR_FILE_NOT_FOUND).
#pragma once

#include "comserver/ComObject.h"
#include "diag/PortInterfaces.h"
#include "diag/ReservedSlots.h"
#include "emulator/Handset.h"
#include "platform/ComPtr.h"

#include <memory>
#include <span>

namespace Emulator {

// The HRESULT that stands for device error `error` (0 is S_OK).
HRESULT resultFromDeviceError(std::uint32_t error);

class ItemService final : public ComServer::ComObject<ItemService, IItemService> {
public:
    static Platform::ComPtr<IItemService> create(std::shared_ptr<Handset> handset);

    static std::span<const ComServer::InterfaceEntry<ItemService>> interfaceTable();

    VORNAK_RESERVED_SLOTS_1_TO_10
    HRESULT STDMETHODCALLTYPE StatItem(BSTR path, ULONG* mode, ULONG* size, ULONG* linkCount,
                                       ULONG* accessTime, ULONG* modificationTime,
                                       ULONG* creationTime) override;
    VORNAK_RESERVED_SLOTS_12_TO_17
    // Creates the item or replaces its bytes.
    HRESULT STDMETHODCALLTYPE PutItem(BSTR path, ULONG count, const BYTE* data) override;
    // Delivers the item's first *count bytes at most; *count becomes the number delivered.
    HRESULT STDMETHODCALLTYPE GetItem(BSTR path, ULONG* count, BYTE* buffer) override;

private:
    friend ComObject;
    explicit ItemService(std::shared_ptr<Handset> handset);
    std::shared_ptr<Handset> handset_;
};

} // namespace Emulator
