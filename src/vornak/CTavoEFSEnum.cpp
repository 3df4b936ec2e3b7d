#include "vornak/CTavoEFSEnum.h"

#include "platform/Bstr.h"
#include "platform/ComError.h"
#include "platform/ComPtr.h"
#include "vornak/ClassTable.h"
#include "vornak/ErrorInfo.h"
#include "vornak/TaskMemory.h"

#include <utility>

using Marl::Common::EfsReadDirEntry;
using Vornak::InterfaceEntry;
using Vornak::interfaceEntry;

namespace {

constexpr Vornak::Boundary kBoundary = {&CLSID_TavoEFSEnum, &IID_IEnumSTATSTG, VORNAK_E_UNEXPECTED};

// Handset seconds since 1970-01-01 00:00:00, taken as they are (no time zone).
FILETIME toFileTime(std::uint32_t seconds)
{
    constexpr std::uint64_t kUnixEpoch = 116444736000000000ULL;
    constexpr std::uint64_t kTicksPerSecond = 10000000ULL;
    const std::uint64_t ticks = kUnixEpoch + seconds * kTicksPerSecond;
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

DWORD toElementType(std::uint32_t type)
{
    switch (type) {
    case EfsReadDirEntry::kTypeFile:
        return STGTY_STREAM;
    case EfsReadDirEntry::kTypeDirectory:
        return STGTY_STORAGE;
    case 2:
        return 0xFFFFFFFEu;
    default:
        return 0xFFFFFFFFu;
    }
}

// Fills `record` from `entry`; false, with `record` untouched, when the task
// allocator cannot supply the name.
bool fillRecord(const EfsReadDirEntry& entry, STATSTG& record)
{
    LPOLESTR name = Vornak::taskMemoryCopy(entry.name());
    if (name == nullptr) {
        return false;
    }
    record.pwcsName = name;
    record.type = toElementType(entry.type());
    record.cbSize.QuadPart = entry.size();
    record.mtime = toFileTime(entry.modificationTime());
    record.ctime = toFileTime(entry.creationTime());
    record.atime = toFileTime(entry.accessTime());
    record.grfMode = 0;
    record.grfLocksSupported = LOCK_WRITE;
    record.clsid = CLSID_NULL;
    record.grfStateBits = 0;
    record.reserved = 0;
    return true;
}

} // namespace

CTavoEFSEnum::CTavoEFSEnum(IUnknown* outer)
    : ComObject(outer)
{}

CTavoEFSEnum::~CTavoEFSEnum() = default;

std::span<const InterfaceEntry<CTavoEFSEnum>> CTavoEFSEnum::interfaceTable()
{
    static constexpr InterfaceEntry<CTavoEFSEnum> table[] = {
        interfaceEntry<CTavoEFSEnum, ITavoEFSEnum>(IID_ITavoEFSEnum),
        interfaceEntry<CTavoEFSEnum, IEnumSTATSTG>(IID_IEnumSTATSTG),
        interfaceEntry<CTavoEFSEnum, IDispatch, ITavoEFSEnum>(IID_IDispatch),
        interfaceEntry<CTavoEFSEnum, ISupportErrorInfo>(IID_ISupportErrorInfo),
    };
    return table;
}

HRESULT CTavoEFSEnum::phaseError(DWORD helpContext) const
{
    return Vornak::reportError(CLSID_TavoEFSEnum, nullptr, helpContext, IID_IEnumSTATSTG,
                               VORNAK_E_HANDSET);
}

HRESULT CTavoEFSEnum::AddEntry(BSTR name, ULONG ftype, ULONG fmode, ULONG fsize, ULONG atime,
                               ULONG mtime, ULONG ctime)
{
    if (closed_) {
        return phaseError(kFillWhenClosed);
    }
    return Vornak::guard(kBoundary, [&] {
        entries_.emplace_back(Platform::toU16String(name), ftype, fmode, fsize, atime, mtime,
                              ctime);
        return S_OK;
    });
}

HRESULT CTavoEFSEnum::AddEntryEnd()
{
    if (closed_) {
        return phaseError(kFillWhenClosed);
    }
    closed_ = true;
    return S_OK;
}

HRESULT CTavoEFSEnum::SetIndex(ULONG i)
{
    if (closed_) {
        return phaseError(kFillWhenClosed);
    }
    cursor_ = i;
    return S_OK;
}

HRESULT CTavoEFSEnum::get_Count(LONG* pVal)
{
    if (pVal == nullptr) {
        return E_POINTER;
    }
    if (!closed_) {
        return phaseError(kReadWhileFilling);
    }
    *pVal = static_cast<LONG>(count());
    return S_OK;
}

HRESULT CTavoEFSEnum::GetEntry(ULONG index, BSTR* pName, ULONG* ftype, ULONG* fmode, ULONG* fsize,
                               ULONG* atime, ULONG* mtime, ULONG* ctime)
{
    if (!closed_) {
        return phaseError(kReadWhileFilling);
    }
    if (index >= count()) {
        return phaseError(kIndexOutOfRange);
    }
    return Vornak::guard(kBoundary, [&] {
        const EfsReadDirEntry& entry = entries_[index];
        if (pName != nullptr) {
            *pName = Platform::Bstr(entry.name()).detach();
        }
        const std::pair<ULONG*, std::uint32_t> values[] = {
            {ftype, entry.type()},
            {fmode, entry.mode()},
            {fsize, entry.size()},
            {atime, entry.accessTime()},
            {mtime, entry.modificationTime()},
            {ctime, entry.creationTime()},
        };
        for (const auto& [out, value] : values) {
            if (out != nullptr) {
                *out = value;
            }
        }
        return S_OK;
    });
}

HRESULT CTavoEFSEnum::Next(ULONG celt, STATSTG* rgelt, ULONG* pceltFetched)
{
    if (!closed_) {
        return phaseError(kReadWhileFilling);
    }
    // celt is compared as a signed count: 0x80000000 and above ask for nothing.
    const auto wanted = static_cast<LONG>(celt);
    if (wanted > 0 && cursor_ < count() && rgelt == nullptr) {
        return STG_E_INVALIDPOINTER;
    }
    LONG filled = 0;
    std::uint32_t cursor = cursor_;
    while (filled < wanted && cursor < count()) {
        if (!fillRecord(entries_[cursor], rgelt[filled])) {
            for (LONG i = 0; i < filled; ++i) {
                CoTaskMemFree(std::exchange(rgelt[i].pwcsName, nullptr));
            }
            if (pceltFetched != nullptr) {
                *pceltFetched = 0;
            }
            return E_OUTOFMEMORY;
        }
        ++filled;
        ++cursor;
    }
    cursor_ = cursor;
    if (pceltFetched != nullptr) {
        *pceltFetched = static_cast<ULONG>(filled);
    }
    return filled > 0 ? S_OK : S_FALSE;
}

HRESULT CTavoEFSEnum::Skip(ULONG celt)
{
    if (!closed_) {
        return phaseError(kReadWhileFilling);
    }
    if (count() == 0) {
        return S_FALSE;
    }
    // A skip may land on the last entry but not beyond it; one that would
    // does not move at all. The comparison is signed, as the cursor was.
    const std::uint32_t target = cursor_ + celt;
    if (static_cast<std::int32_t>(target) > static_cast<std::int32_t>(count() - 1)) {
        return S_FALSE;
    }
    cursor_ = target;
    return S_OK;
}

HRESULT CTavoEFSEnum::Reset()
{
    if (!closed_) {
        return phaseError(kReadWhileFilling);
    }
    cursor_ = 0;
    return S_OK;
}

HRESULT CTavoEFSEnum::Clone(IEnumSTATSTG** ppenum)
{
    if (ppenum == nullptr) {
        return E_POINTER;
    }
    if (!closed_) {
        return phaseError(kReadWhileFilling);
    }
    // The copy is a new object of the class, filled through its interface
    // like any other; every failure of it is reported as a handset failure.
    try {
        Platform::ComPtr<IEnumSTATSTG> copy;
        Vornak::createRunningObject(CLSID_TavoEFSEnum, IID_IEnumSTATSTG, copy.putVoid());
        Platform::ComPtr<ITavoEFSEnum> filling;
        Platform::throwIfFailed(copy->QueryInterface(IID_ITavoEFSEnum, filling.putVoid()));
        for (const EfsReadDirEntry& entry : entries_) {
            const Platform::Bstr name(entry.name());
            Platform::throwIfFailed(filling->AddEntry(name.get(), entry.type(), entry.mode(),
                                                      entry.size(), entry.accessTime(),
                                                      entry.modificationTime(),
                                                      entry.creationTime()),
                                    filling.get(), IID_ITavoEFSEnum);
        }
        Platform::throwIfFailed(filling->SetIndex(cursor_), filling.get(), IID_ITavoEFSEnum);
        Platform::throwIfFailed(filling->AddEntryEnd(), filling.get(), IID_ITavoEFSEnum);
        *ppenum = copy.detach();
        return S_OK;
    } catch (const _com_error& error) {
        const Vornak::ComErrorDetails details = Vornak::comErrorDetails(error);
        return Vornak::reportError(CLSID_TavoEFSEnum, details.description.get(),
                                   details.helpContext, IID_IEnumSTATSTG, VORNAK_E_HANDSET);
    } catch (...) {
        return Vornak::reportError(CLSID_TavoEFSEnum, nullptr, 0, IID_IEnumSTATSTG,
                                   VORNAK_E_HANDSET);
    }
}

HRESULT CTavoEFSEnum::InterfaceSupportsErrorInfo(REFIID riid)
{
    static constexpr const IID* kSupported[] = {&IID_ITavoEFSEnum, &IID_IEnumSTATSTG};
    return Vornak::supportsErrorInfo(riid, kSupported);
}
