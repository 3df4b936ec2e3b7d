/* The IUnknown methods of every proxy, exported by rpcrt4. widl's proxy
 * vtables name them, and mingw-w64 10 declares them nowhere. */
#pragma once

#include <objbase.h>

#ifdef __cplusplus
extern "C" {
#endif

HRESULT STDMETHODCALLTYPE IUnknown_QueryInterface_Proxy(IUnknown* This, REFIID riid,
                                                        void** ppvObject);
ULONG STDMETHODCALLTYPE IUnknown_AddRef_Proxy(IUnknown* This);
ULONG STDMETHODCALLTYPE IUnknown_Release_Proxy(IUnknown* This);

#ifdef __cplusplus
}
#endif
