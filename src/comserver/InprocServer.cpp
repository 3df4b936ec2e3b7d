#include "vornak/InprocServer.h"

#include "vornak/Module.h"

#include <new>

namespace Vornak {

namespace {

// The class object of one row. It does not hold the module: the row's cache
// keeps it until unload, and clients that keep it use LockServer.
class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(CreateFunction create)
        : create_(create)
    {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (out == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            AddRef();
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        return static_cast<ULONG>(InterlockedIncrement(&references_));
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG remaining = InterlockedDecrement(&references_);
        if (remaining == 0) {
            delete this;
        }
        return static_cast<ULONG>(remaining);
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        return create_(outer, iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock) {
            Module::lock();
        } else {
            Module::unlock();
        }
        return S_OK;
    }

private:
    ~ClassFactory() = default;

    CreateFunction create_;
    LONG references_ = 1;
};

} // namespace

HRESULT InprocServer::getClassObject(REFCLSID clsid, REFIID iid, void** out) const
{
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    for (ClassRow& row : rows_) {
        if (!IsEqualCLSID(clsid, *row.clsid)) {
            continue;
        }
        IClassFactory* factory = row.classObject.load();
        if (factory == nullptr) {
            const Module::SectionLock lock;
            if (!lock.ready()) {
                return E_OUTOFMEMORY;
            }
            factory = row.classObject.load();
            if (factory == nullptr) {
                factory = new (std::nothrow) ClassFactory(row.create);
                if (factory == nullptr) {
                    return E_OUTOFMEMORY;
                }
                row.classObject.store(factory);
            }
        }
        return factory->QueryInterface(iid, out);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

void InprocServer::releaseClassObjects() const
{
    for (ClassRow& row : rows_) {
        if (IClassFactory* factory = row.classObject.exchange(nullptr)) {
            factory->Release();
        }
    }
}

} // namespace Vornak
