// A module's type library as the platform registered it, and IDispatch for
// the dual interfaces served from it: the library is loaded on first use and
// one ITypeInfo per interface is kept until the module is unloaded.
#pragma once

#include "platform/Com.h"
#include "platform/ComPtr.h"

#include <atomic>
#include <span>

namespace Vornak {

class TypeInfoCache {
public:
    // One dual interface whose type information is kept.
    struct Entry {
        const IID* iid;
        std::atomic<ITypeInfo*> info = nullptr;
    };

    // The registered library `library` (version 1.0, locale 1033) and the
    // interfaces of `entries`, which must outlive the cache.
    constexpr TypeInfoCache(const GUID& library, std::span<Entry> entries)
        : library_(&library)
        , entries_(entries)
    {}
    TypeInfoCache(const TypeInfoCache&) = delete;
    TypeInfoCache& operator=(const TypeInfoCache&) = delete;

    // The type information of the dual interface `iid` (a new reference),
    // the failure of loading the registered library, or
    // TYPE_E_ELEMENTNOTFOUND for an interface not among the entries.
    HRESULT typeInfo(REFIID iid, ITypeInfo** out);
    // Releases the library and the type information (module unload).
    void release();

private:
    HRESULT loadLibrary(ITypeLib** out);

    const GUID* library_;
    std::span<Entry> entries_;
    std::atomic<ITypeLib*> loaded_ = nullptr;
};

// IDispatch of the dual interface Dual, delegated to its type information
// from Library (a class with a static typeInfo(iid, out) like
// TypeInfoCache::typeInfo): no dispatch table is written by hand.
template <class Library, class Dual, const IID& DualIid>
class DualDispatch : public Dual {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override
    {
        if (info == nullptr) {
            return E_POINTER;
        }
        *info = nullptr;
        if (index != 0) {
            return DISP_E_BADINDEX;
        }
        return Library::typeInfo(DualIid, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override
    {
        if (!IsEqualIID(iid, IID_NULL)) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        Platform::ComPtr<ITypeInfo> info;
        const HRESULT hr = Library::typeInfo(DualIid, info.put());
        return FAILED(hr) ? hr : info->GetIDsOfNames(names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override
    {
        if (!IsEqualIID(iid, IID_NULL)) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        Platform::ComPtr<ITypeInfo> info;
        const HRESULT hr = Library::typeInfo(DualIid, info.put());
        return FAILED(hr) ? hr
                          : info->Invoke(static_cast<Dual*>(this), id, flags, params, result,
                                         exception, argumentError);
    }
};

} // namespace Vornak
