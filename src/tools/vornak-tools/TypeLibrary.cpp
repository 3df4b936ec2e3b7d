#include "tools/vornak-tools/TypeLibrary.h"

#include "vornak-tools/VornakTools.h"

namespace VornakTools {

namespace {

Vornak::TypeInfoCache::Entry entries[] = {
    {&IID_IEmulatedPort},
    {&IID_ISerialPort},
    {&IID_IScriptTools},
    {&IID_IListingEntry},
};
constinit Vornak::TypeInfoCache cache(LIBID_VornakToolsLib, entries);

} // namespace

HRESULT TypeLibrary::typeInfo(REFIID iid, ITypeInfo** out)
{
    return cache.typeInfo(iid, out);
}

void TypeLibrary::release()
{
    cache.release();
}

} // namespace VornakTools
