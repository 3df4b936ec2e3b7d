#include "tools/vornak-tools/CListingEntry.h"

#include "tools/vornak-tools/ListingText.h"

#include <utility>

namespace VornakTools {

using ComServer::InterfaceEntry;
using ComServer::interfaceEntry;

namespace {

template <class T>
HRESULT readOut(T* out, T value)
{
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = value;
    return S_OK;
}

} // namespace

CListingEntry::CListingEntry(IUnknown* outer, EntryValues values)
    : ComObject(outer)
    , values_(std::move(values))
{}

std::span<const InterfaceEntry<CListingEntry>> CListingEntry::interfaceTable()
{
    using Dual = ComServer::DualDispatch<IListingEntry, IID_IListingEntry>;
    static constexpr InterfaceEntry<CListingEntry> table[] = {
        interfaceEntry<CListingEntry, IListingEntry, Dual>(IID_IListingEntry),
        interfaceEntry<CListingEntry, IDispatch, Dual>(IID_IDispatch),
    };
    return table;
}

HRESULT CListingEntry::get_Name(BSTR* pVal)
{
    if (pVal == nullptr) {
        return E_POINTER;
    }
    *pVal = SysAllocStringLen(values_.name.data(), static_cast<UINT>(values_.name.size()));
    return *pVal != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CListingEntry::get_Type(ULONG* pVal)
{
    return readOut<ULONG>(pVal, values_.type);
}

HRESULT CListingEntry::get_Mode(ULONG* pVal)
{
    return readOut<ULONG>(pVal, values_.mode);
}

HRESULT CListingEntry::get_Size(ULONG* pVal)
{
    return readOut<ULONG>(pVal, values_.size);
}

HRESULT CListingEntry::get_AccessTime(ULONG* pVal)
{
    return readOut<ULONG>(pVal, values_.atime);
}

HRESULT CListingEntry::get_ModificationTime(ULONG* pVal)
{
    return readOut<ULONG>(pVal, values_.mtime);
}

HRESULT CListingEntry::get_CreationTime(ULONG* pVal)
{
    return readOut<ULONG>(pVal, values_.ctime);
}

HRESULT CListingEntry::get_Accessed(DATE* pVal)
{
    return readOut(pVal, timeDate(values_.atime));
}

HRESULT CListingEntry::get_Modified(DATE* pVal)
{
    return readOut(pVal, timeDate(values_.mtime));
}

HRESULT CListingEntry::get_Created(DATE* pVal)
{
    return readOut(pVal, timeDate(values_.ctime));
}

HRESULT CListingEntry::get_IsDirectory(VARIANT_BOOL* pVal)
{
    return readOut<VARIANT_BOOL>(pVal, values_.type == 1 ? VARIANT_TRUE : VARIANT_FALSE);
}

} // namespace VornakTools
