#include "tools/emulated-port/TypeLibrary.h"

#include "emulated-port/VornakEmulator.h"

namespace VornakEmulator {

namespace {

Vornak::TypeInfoCache::Entry entries[] = {
    {&IID_IEmulatedPort},
};
constinit Vornak::TypeInfoCache cache(LIBID_VornakEmulatorLib, entries);

} // namespace

HRESULT TypeLibrary::typeInfo(REFIID iid, ITypeInfo** out)
{
    return cache.typeInfo(iid, out);
}

void TypeLibrary::release()
{
    cache.release();
}

} // namespace VornakEmulator
