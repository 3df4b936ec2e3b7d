#include "ClassFactory.h"

#include "PortServerObject.h"

#include <new>

namespace PortServerProgram {

ClassFactory::ClassFactory(ServerProcess& process, HandsetSource& handsets)
    : process_(process)
    , handsets_(handsets)
{}

HRESULT ClassFactory::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG ClassFactory::AddRef()
{
    return references_.fetch_add(1) + 1;
}

ULONG ClassFactory::Release()
{
    return references_.fetch_sub(1) - 1;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object)
{
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    std::shared_ptr<ServedHandset> served;
    const HRESULT hr = handsets_.acquire(served);
    if (FAILED(hr)) {
        return hr;
    }
    try {
        return PortServerObject::create(std::move(served))->QueryInterface(iid, object);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const _com_error& error) {
        return error.Error();
    }
}

HRESULT ClassFactory::LockServer(BOOL lock)
{
    if (lock) {
        process_.addReference();
    } else {
        process_.releaseReference();
    }
    return S_OK;
}

} // namespace PortServerProgram
