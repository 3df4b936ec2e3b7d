// One entry of a listing as a script reads it (coclass ListingEntry, made by
// ScriptTools.Entry only): the values ITavoEFSEnum::GetEntry gives through
// [out] parameters, as read-only properties. It holds copies, so it outlives
// the listing it came from and needs no lock.
#pragma once

#include "comserver/ComObject.h"
#include "comserver/DualDispatch.h"
#include "vornak-tools/VornakTools.h"

#include <span>
#include <string>

namespace VornakTools {

// What GetEntry gives for one entry.
struct EntryValues {
    std::wstring name;
    ULONG type = 0;
    ULONG mode = 0;
    ULONG size = 0;
    ULONG atime = 0;
    ULONG mtime = 0;
    ULONG ctime = 0;
};

class CListingEntry final
    : public ComServer::ComObject<CListingEntry,
                                  ComServer::DualDispatch<IListingEntry, IID_IListingEntry>> {
public:
    static std::span<const ComServer::InterfaceEntry<CListingEntry>> interfaceTable();

    HRESULT STDMETHODCALLTYPE get_Name(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE get_Type(ULONG* pVal) override;
    HRESULT STDMETHODCALLTYPE get_Mode(ULONG* pVal) override;
    HRESULT STDMETHODCALLTYPE get_Size(ULONG* pVal) override;
    HRESULT STDMETHODCALLTYPE get_AccessTime(ULONG* pVal) override;
    HRESULT STDMETHODCALLTYPE get_ModificationTime(ULONG* pVal) override;
    HRESULT STDMETHODCALLTYPE get_CreationTime(ULONG* pVal) override;
    HRESULT STDMETHODCALLTYPE get_Accessed(DATE* pVal) override;
    HRESULT STDMETHODCALLTYPE get_Modified(DATE* pVal) override;
    HRESULT STDMETHODCALLTYPE get_Created(DATE* pVal) override;
    HRESULT STDMETHODCALLTYPE get_IsDirectory(VARIANT_BOOL* pVal) override;

private:
    friend ComObject;
    CListingEntry(IUnknown* outer, EntryValues values);

    const EntryValues values_;
};

} // namespace VornakTools
