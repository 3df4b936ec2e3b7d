// The module's type library as the platform registered it, and IDispatch for
// the dual interfaces served from it: the library is loaded on first use and
// one ITypeInfo per interface is kept until the module is unloaded.
#pragma once

#include "platform/Com.h"
#include "platform/ComPtr.h"

namespace Vornak {

class TypeLibrary {
public:
    // The type information of the dual interface `iid` (a new reference), or
    // the failure of loading the registered library (library identifier,
    // version 1.0, locale 1033).
    static HRESULT typeInfo(REFIID iid, ITypeInfo** out);
    // Releases the cached library and type information (module unload).
    static void release();
};

// IDispatch of the dual interface Dual, delegated to its type information:
// no dispatch table is written by hand.
template <class Dual, const IID& DualIid>
class Dispatch : public Dual {
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
        return TypeLibrary::typeInfo(DualIid, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override
    {
        if (!IsEqualIID(iid, IID_NULL)) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        Platform::ComPtr<ITypeInfo> info;
        const HRESULT hr = TypeLibrary::typeInfo(DualIid, info.put());
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
        const HRESULT hr = TypeLibrary::typeInfo(DualIid, info.put());
        return FAILED(hr) ? hr
                          : info->Invoke(static_cast<Dual*>(this), id, flags, params, result,
                                         exception, argumentError);
    }
};

} // namespace Vornak
