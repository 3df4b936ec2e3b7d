#include "vornak/TypeLibrary.h"

#include "vornak/Vornak.h"

namespace Vornak {

namespace {

TypeInfoCache::Entry entries[] = {
    {&IID_ITavoEFSFile},
    {&IID_ITavoEFSFolder},
    {&IID_ITavoEFSEnum},
    {&IID_ITavoWinFolder},
};
constinit TypeInfoCache cache(LIBID_VORNAKLib, entries);

} // namespace

HRESULT TypeLibrary::typeInfo(REFIID iid, ITypeInfo** out)
{
    return cache.typeInfo(iid, out);
}

void TypeLibrary::release()
{
    cache.release();
}

} // namespace Vornak
