#include "vornak/TypeLibrary.h"

#include "vornak/Vornak.h"

#include <atomic>

namespace Vornak {

namespace {

std::atomic<ITypeLib*> library = nullptr;

struct CachedInfo {
    const IID* iid;
    std::atomic<ITypeInfo*> info = nullptr;
};
CachedInfo cache[] = {
    {&IID_ITavoEFSFile},
    {&IID_ITavoEFSFolder},
    {&IID_ITavoEFSEnum},
    {&IID_ITavoWinFolder},
};

// Keeps `candidate` in `slot` unless another thread was first; then the
// candidate is released and the other thread's pointer is the result.
template <class T>
T* publish(std::atomic<T*>& slot, T* candidate)
{
    T* expected = nullptr;
    if (slot.compare_exchange_strong(expected, candidate)) {
        return candidate;
    }
    candidate->Release();
    return expected;
}

HRESULT loadLibrary(ITypeLib** out)
{
    ITypeLib* loaded = library.load();
    if (loaded == nullptr) {
        constexpr LCID kEnglishUnitedStates = 1033;
        const HRESULT hr = LoadRegTypeLib(LIBID_VORNAKLib, 1, 0, kEnglishUnitedStates, &loaded);
        if (FAILED(hr)) {
            return hr;
        }
        loaded = publish(library, loaded);
    }
    *out = loaded;
    return S_OK;
}

} // namespace

HRESULT TypeLibrary::typeInfo(REFIID iid, ITypeInfo** out)
{
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    for (CachedInfo& entry : cache) {
        if (!IsEqualIID(iid, *entry.iid)) {
            continue;
        }
        ITypeInfo* info = entry.info.load();
        if (info == nullptr) {
            ITypeLib* loaded = nullptr;
            HRESULT hr = loadLibrary(&loaded);
            if (SUCCEEDED(hr)) {
                hr = loaded->GetTypeInfoOfGuid(iid, &info);
            }
            if (FAILED(hr)) {
                return hr;
            }
            info = publish(entry.info, info);
        }
        info->AddRef();
        *out = info;
        return S_OK;
    }
    return TYPE_E_ELEMENTNOTFOUND;
}

void TypeLibrary::release()
{
    for (CachedInfo& entry : cache) {
        if (ITypeInfo* info = entry.info.exchange(nullptr)) {
            info->Release();
        }
    }
    if (ITypeLib* loaded = library.exchange(nullptr)) {
        loaded->Release();
    }
}

} // namespace Vornak
