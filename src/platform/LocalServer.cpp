#include "platform/LocalServer.h"

#include <mutex>

namespace Platform {

namespace {

std::mutex overrideMutex;
LocalServerOverride* activeOverride = nullptr;
LocalServerOverride::Factory* activeFactory = nullptr;

} // namespace

LocalServerOverride::LocalServerOverride(Factory factory)
    : factory_(std::move(factory))
{
    std::lock_guard lock(overrideMutex);
    outer_ = activeOverride;
    activeOverride = this;
    activeFactory = &factory_;
}

LocalServerOverride::~LocalServerOverride()
{
    std::lock_guard lock(overrideMutex);
    activeOverride = outer_;
    activeFactory = outer_ != nullptr ? &outer_->factory_ : nullptr;
}

HRESULT createLocalServerNoThrow(REFCLSID clsid, IUnknown** server)
{
    if (server == nullptr) {
        return E_POINTER;
    }
    *server = nullptr;
    {
        std::unique_lock lock(overrideMutex);
        if (activeFactory != nullptr) {
            LocalServerOverride::Factory factory = *activeFactory;
            lock.unlock();
            return factory(clsid, server);
        }
    }
#if defined(_WIN32)
    IUnknown* object = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                                  IID_IUnknown, reinterpret_cast<void**>(&object));
    if (FAILED(hr)) {
        return hr;
    }
    hr = OleRun(object);
    if (FAILED(hr)) {
        object->Release();
        return hr;
    }
    *server = object;
    return S_OK;
#else
    constexpr HRESULT kClassNotRegistered =
        static_cast<HRESULT>(0x80040154u); // REGDB_E_CLASSNOTREG
    return kClassNotRegistered;
#endif
}

} // namespace Platform
