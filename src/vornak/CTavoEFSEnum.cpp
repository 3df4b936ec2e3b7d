#include "vornak/CTavoEFSEnum.h"

#include "comserver/ErrorInfo.h"
#include "comserver/TaskMemory.h"
#include "diag/HandsetTime.h"
#include "platform/Bstr.h"
#include "platform/ComError.h"
#include "platform/ComPtr.h"
#include "vornak/Boundary.h"
#include "vornak/ClassTable.h"

#include <optional>
#include <utility>

using ComServer::InterfaceEntry;
using ComServer::interfaceEntry;
using Marl::Common::EfsReadDirEntry;

namespace {

constexpr ComServer::Boundary kBoundary =
    Vornak::boundary(CLSID_TavoEFSEnum, IID_IEnumSTATSTG, VORNAK_E_UNEXPECTED);

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
    ComServer::TaskMemory<OLECHAR> name = ComServer::taskMemoryCopy(entry.name());
    if (!name) {
        return false;
    }
    record.pwcsName = name.release();
    record.type = toElementType(entry.type());
    record.cbSize.QuadPart = entry.size();
    record.mtime = Diag::Efs2::fileTimeOf(entry.modificationTime());
    record.ctime = Diag::Efs2::fileTimeOf(entry.creationTime());
    record.atime = Diag::Efs2::fileTimeOf(entry.accessTime());
    record.grfMode = 0;
    record.grfLocksSupported = LOCK_WRITE;
    record.clsid = CLSID_NULL;
    record.grfStateBits = 0;
    record.reserved = 0;
    return true;
}

// The names of the records that Next has filled so far: they go back to the
// task allocator unless the call hands them out.
class FilledRecords {
public:
    explicit FilledRecords(STATSTG* records)
        : records_(records)
    {}
    ~FilledRecords()
    {
        for (LONG i = 0; i < count_; ++i) {
            const ComServer::TaskMemory<OLECHAR> name(std::exchange(records_[i].pwcsName, nullptr));
        }
    }
    FilledRecords(const FilledRecords&) = delete;
    FilledRecords& operator=(const FilledRecords&) = delete;

    // Fills the next record from `entry`; false when its name cannot be made.
    bool add(const EfsReadDirEntry& entry)
    {
        if (!fillRecord(entry, records_[count_])) {
            return false;
        }
        ++count_;
        return true;
    }
    LONG count() const { return count_; }
    // The names now belong to the caller of Next.
    LONG handOut() { return std::exchange(count_, 0); }

private:
    STATSTG* records_;
    LONG count_ = 0;
};

// A failed clone is a handset failure, whatever went wrong, with what the
// failing call said of it.
std::optional<HRESULT> reportCloneFailure(const ComServer::Boundary& boundary) noexcept
{
    try {
        throw;
    } catch (const _com_error& error) {
        const ComServer::ComErrorDetails details = ComServer::comErrorDetails(error);
        return ComServer::reportError(*boundary.clsid, details.description.get(),
                                      details.helpContext, *boundary.iid, VORNAK_E_HANDSET);
    } catch (...) {
        return std::nullopt;
    }
}
constexpr ComServer::Boundary kCloneBoundary = {
    &CLSID_TavoEFSEnum, &IID_IEnumSTATSTG, VORNAK_E_HANDSET, VORNAK_E_HANDSET, &reportCloneFailure};

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
    return ComServer::reportError(CLSID_TavoEFSEnum, nullptr, helpContext, IID_IEnumSTATSTG,
                                  VORNAK_E_HANDSET);
}

HRESULT CTavoEFSEnum::AddEntry(BSTR name, ULONG ftype, ULONG fmode, ULONG fsize, ULONG atime,
                               ULONG mtime, ULONG ctime)
{
    const ComServer::CriticalSection::Lock lock(section_);
    if (closed_) {
        return phaseError(kFillWhenClosed);
    }
    return ComServer::guard(kBoundary, [&] {
        entries_.emplace_back(Platform::toU16String(name), ftype, fmode, fsize, atime, mtime,
                              ctime);
        return S_OK;
    });
}

HRESULT CTavoEFSEnum::AddEntryEnd()
{
    const ComServer::CriticalSection::Lock lock(section_);
    if (closed_) {
        return phaseError(kFillWhenClosed);
    }
    closed_ = true;
    return S_OK;
}

HRESULT CTavoEFSEnum::SetIndex(ULONG i)
{
    const ComServer::CriticalSection::Lock lock(section_);
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
    const ComServer::CriticalSection::Lock lock(section_);
    if (!closed_) {
        return phaseError(kReadWhileFilling);
    }
    *pVal = static_cast<LONG>(count());
    return S_OK;
}

HRESULT CTavoEFSEnum::GetEntry(ULONG index, BSTR* pName, ULONG* ftype, ULONG* fmode, ULONG* fsize,
                               ULONG* atime, ULONG* mtime, ULONG* ctime)
{
    const ComServer::CriticalSection::Lock lock(section_);
    if (!closed_) {
        return phaseError(kReadWhileFilling);
    }
    if (index >= count()) {
        return phaseError(kIndexOutOfRange);
    }
    return ComServer::guard(kBoundary, [&] {
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
    const ComServer::CriticalSection::Lock lock(section_);
    if (!closed_) {
        return phaseError(kReadWhileFilling);
    }
    // celt is compared as a signed count: 0x80000000 and above ask for nothing.
    const auto wanted = static_cast<LONG>(celt);
    if (wanted > 0 && cursor_ < count() && rgelt == nullptr) {
        return STG_E_INVALIDPOINTER;
    }
    FilledRecords filled(rgelt);
    std::uint32_t cursor = cursor_;
    while (filled.count() < wanted && cursor < count()) {
        if (!filled.add(entries_[cursor])) {
            if (pceltFetched != nullptr) {
                *pceltFetched = 0;
            }
            return E_OUTOFMEMORY;
        }
        ++cursor;
    }
    cursor_ = cursor;
    const LONG handed = filled.handOut();
    if (pceltFetched != nullptr) {
        *pceltFetched = static_cast<ULONG>(handed);
    }
    return handed > 0 ? S_OK : S_FALSE;
}

HRESULT CTavoEFSEnum::Skip(ULONG celt)
{
    const ComServer::CriticalSection::Lock lock(section_);
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
    const ComServer::CriticalSection::Lock lock(section_);
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
    const ComServer::CriticalSection::Lock lock(section_);
    if (!closed_) {
        return phaseError(kReadWhileFilling);
    }
    // The copy is a new object of the class, filled through its interface
    // like any other.
    return ComServer::guard(kCloneBoundary, [&] {
        Platform::ComPtr<IEnumSTATSTG> copy;
        Vornak::createRunningObject(CLSID_TavoEFSEnum, IID_IEnumSTATSTG, copy.putVoid());
        const auto filling = Platform::queryInterface<ITavoEFSEnum>(copy.get(), IID_ITavoEFSEnum);
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
    });
}

HRESULT CTavoEFSEnum::InterfaceSupportsErrorInfo(REFIID riid)
{
    static constexpr const IID* kSupported[] = {&IID_ITavoEFSEnum, &IID_IEnumSTATSTG};
    return ComServer::supportsErrorInfo(riid, kSupported);
}
