// IDispatch for the dual interfaces of an in-process module's classes, served
// from the module's type library.
#pragma once

#include "comserver/InprocServer.h"
#include "platform/Com.h"
#include "platform/ComPtr.h"

namespace ComServer {

// IDispatch of the dual interface Dual, delegated to its type information in
// the type library of the module this code is linked into: no dispatch table
// is written by hand.
template <class Dual, const IID& DualIid>
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
        return typeInfo(info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override
    {
        if (!IsEqualIID(iid, IID_NULL)) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        Platform::ComPtr<ITypeInfo> info;
        const HRESULT hr = typeInfo(info.put());
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
        const HRESULT hr = typeInfo(info.put());
        return FAILED(hr) ? hr
                          : info->Invoke(static_cast<Dual*>(this), id, flags, params, result,
                                         exception, argumentError);
    }

private:
    static HRESULT typeInfo(ITypeInfo** out)
    {
        return InprocServer::thisModule().typeInfo().typeInfo(DualIid, out);
    }
};

} // namespace ComServer
