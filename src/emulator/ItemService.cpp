#include "emulator/ItemService.h"

#include "platform/Bstr.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace Emulator {

HRESULT resultFromDeviceError(std::uint32_t error)
{
    // HRESULT_FROM_WIN32 of the Windows error that reads the same to a user.
    const auto fromWin32 = [](std::uint32_t code) {
        return static_cast<HRESULT>(0x80070000u | code);
    };
    switch (error) {
    case kSuccess:
        return S_OK;
    case kNoEntry:
        return fromWin32(2); // ERROR_FILE_NOT_FOUND
    case kNotDirectory:
        return fromWin32(3); // ERROR_PATH_NOT_FOUND
    case kAccessDenied:
    case kIsDirectory:
        return fromWin32(5); // ERROR_ACCESS_DENIED
    case kExists:
        return fromWin32(80); // ERROR_FILE_EXISTS
    case kNoSpace:
    case kFileTooBig:
        return fromWin32(112); // ERROR_DISK_FULL
    case kNameTooLong:
        return fromWin32(206); // ERROR_FILENAME_EXCED_RANGE
    case kInvalidArgument:
        return E_INVALIDARG;
    default:
        return E_FAIL;
    }
}

Platform::ComPtr<IItemService> ItemService::create(std::shared_ptr<Handset> handset)
{
    return make<IItemService>(std::move(handset));
}

ItemService::ItemService(std::shared_ptr<Handset> handset)
    : handset_(std::move(handset))
{}

std::span<const ComServer::InterfaceEntry<ItemService>> ItemService::interfaceTable()
{
    static constexpr ComServer::InterfaceEntry<ItemService> table[] = {
        ComServer::interfaceEntry<ItemService, IItemService>(IID_IItemService),
    };
    return table;
}

HRESULT ItemService::StatItem(BSTR path, ULONG* mode, ULONG* size, ULONG* linkCount,
                              ULONG* accessTime, ULONG* modificationTime, ULONG* creationTime)
{
    if (mode == nullptr || size == nullptr || linkCount == nullptr || accessTime == nullptr ||
        modificationTime == nullptr || creationTime == nullptr) {
        return E_POINTER;
    }
    try {
        Attributes attributes;
        const HRESULT hr =
            resultFromDeviceError(handset_->stat(Platform::toU16String(path), attributes));
        if (SUCCEEDED(hr)) {
            *mode = attributes.mode;
            *size = attributes.size;
            *linkCount = attributes.linkCount;
            *accessTime = attributes.accessTime;
            *modificationTime = attributes.modificationTime;
            *creationTime = attributes.creationTime;
        }
        return hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT ItemService::PutItem(BSTR path, ULONG count, const BYTE* data)
{
    if (data == nullptr && count != 0) {
        return E_POINTER;
    }
    try {
        return resultFromDeviceError(
            handset_->writeFile(Platform::toU16String(path), {data, count}));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT ItemService::GetItem(BSTR path, ULONG* count, BYTE* buffer)
{
    if (count == nullptr || (buffer == nullptr && *count != 0)) {
        return E_POINTER;
    }
    try {
        std::vector<std::uint8_t> bytes;
        const HRESULT hr =
            resultFromDeviceError(handset_->readFile(Platform::toU16String(path), bytes));
        if (FAILED(hr)) {
            *count = 0;
            return hr;
        }
        const std::size_t delivered = std::min<std::size_t>(*count, bytes.size());
        if (delivered != 0) {
            std::memcpy(buffer, bytes.data(), delivered);
        }
        *count = static_cast<ULONG>(delivered);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

} // namespace Emulator
