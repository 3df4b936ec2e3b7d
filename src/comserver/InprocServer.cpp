#include "comserver/InprocServer.h"

#include "comserver/ComObject.h"
#include "comserver/Module.h"

namespace ComServer {

namespace {

// The class object of one row. It does not hold the module: the row's cache
// keeps it until unload, and clients that keep it use LockServer.
class ClassFactory final : public ComObject<ClassFactory, IClassFactory> {
public:
    static constexpr bool kHoldsModule = false;

    static std::span<const InterfaceEntry<ClassFactory>> interfaceTable()
    {
        static constexpr InterfaceEntry<ClassFactory> table[] = {
            interfaceEntry<ClassFactory, IClassFactory>(IID_IClassFactory),
        };
        return table;
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        return create_(outer, iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock) {
            ModuleLock::lock();
        } else {
            ModuleLock::unlock();
        }
        return S_OK;
    }

private:
    friend ComObject;
    ClassFactory(IUnknown* outer, CreateFunction createInstance)
        : ComObject(outer)
        , create_(createInstance)
    {}

    CreateFunction create_;
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
                const HRESULT hr = ClassFactory::create(
                    nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory), row.create);
                if (FAILED(hr)) {
                    return hr;
                }
                row.classObject.store(factory);
            }
        }
        return factory->QueryInterface(iid, out);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

void InprocServer::release() const
{
    for (ClassRow& row : rows_) {
        if (IClassFactory* factory = row.classObject.exchange(nullptr)) {
            factory->Release();
        }
    }
    typeInfo_->release();
}

} // namespace ComServer
