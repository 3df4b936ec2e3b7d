#include "comserver/TypeInfoCache.h"

namespace ComServer {

namespace {

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

} // namespace

HRESULT TypeInfoCache::loadLibrary(ITypeLib** out)
{
    ITypeLib* loaded = loaded_.load();
    if (loaded == nullptr) {
        constexpr LCID kEnglishUnitedStates = 1033;
        const HRESULT hr = LoadRegTypeLib(*library_, 1, 0, kEnglishUnitedStates, &loaded);
        if (FAILED(hr)) {
            return hr;
        }
        loaded = publish(loaded_, loaded);
    }
    *out = loaded;
    return S_OK;
}

HRESULT TypeInfoCache::typeInfo(REFIID iid, ITypeInfo** out)
{
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    for (Entry& entry : entries_) {
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

void TypeInfoCache::release()
{
    for (Entry& entry : entries_) {
        if (ITypeInfo* info = entry.info.exchange(nullptr)) {
            info->Release();
        }
    }
    if (ITypeLib* loaded = loaded_.exchange(nullptr)) {
        loaded->Release();
    }
}

} // namespace ComServer
