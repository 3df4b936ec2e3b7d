// The emulated port module's type library as the platform registered it, and
// IDispatch for its dual interface served from it.
#pragma once

#include "platform/Com.h"
#include "vornak/TypeInfoCache.h"

namespace VornakEmulator {

class TypeLibrary {
public:
    // The type information of IEmulatedPort (a new reference), or the failure
    // of loading the registered library (version 1.0, locale 1033).
    static HRESULT typeInfo(REFIID iid, ITypeInfo** out);
    // Releases the cached library and type information (module unload).
    static void release();
};

template <class Dual, const IID& DualIid>
using Dispatch = Vornak::DualDispatch<TypeLibrary, Dual, DualIid>;

} // namespace VornakEmulator
