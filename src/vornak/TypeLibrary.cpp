#include "vornak/TypeLibrary.h"

#include "vornak/Vornak.h"

#include <utility>

namespace Vornak {

namespace {

// Each cached pointer is published once with a compare-and-swap: a thread
// that loses the race releases its own copy and takes the winner's.
ITypeLib* library = nullptr;

struct CachedInfo {
    const IID* iid;
    ITypeInfo* info;
};
CachedInfo cache[] = {
    {&IID_ITavoEFSFile, nullptr},
    {&IID_ITavoEFSFolder, nullptr},
    {&IID_ITavoEFSEnum, nullptr},
    {&IID_ITavoWinFolder, nullptr},
};

template <class T>
T* publish(T*& slot, T* candidate)
{
    void* previous = InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&slot),
                                                       candidate, nullptr);
    if (previous == nullptr) {
        return candidate;
    }
    candidate->Release();
    return static_cast<T*>(previous);
}

template <class T>
T* current(T*& slot)
{
    return static_cast<T*>(InterlockedCompareExchangePointer(
        reinterpret_cast<void* volatile*>(&slot), nullptr, nullptr));
}

HRESULT loadLibrary(ITypeLib** out)
{
    ITypeLib* loaded = current(library);
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
        ITypeInfo* info = current(entry.info);
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
        if (ITypeInfo* info = std::exchange(entry.info, nullptr)) {
            info->Release();
        }
    }
    if (ITypeLib* loaded = std::exchange(library, nullptr)) {
        loaded->Release();
    }
}

} // namespace Vornak
