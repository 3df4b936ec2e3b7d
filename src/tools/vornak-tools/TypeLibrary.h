// The module's type library as the platform registered it, and IDispatch for
// its dual interfaces served from it.
#pragma once

#include "platform/Com.h"
#include "vornak/TypeInfoCache.h"

namespace VornakTools {

class TypeLibrary {
public:
    // The type information of one of the module's dual interfaces (a new
    // reference), or the failure of loading the registered library (version
    // 1.0; asked for locale 1033, the platform finds the neutral one).
    static HRESULT typeInfo(REFIID iid, ITypeInfo** out);
    // Releases the cached library and type information (module unload).
    static void release();
};

template <class Dual, const IID& DualIid>
using Dispatch = Vornak::DualDispatch<TypeLibrary, Dual, DualIid>;

} // namespace VornakTools
