// Vornak's type library as the platform registered it, and IDispatch for the
// module's dual interfaces served from it.
#pragma once

#include "platform/Com.h"
#include "vornak/TypeInfoCache.h"

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

// IDispatch of one of the module's dual interfaces.
template <class Dual, const IID& DualIid>
using Dispatch = DualDispatch<TypeLibrary, Dual, DualIid>;

} // namespace Vornak
