#include "ClassFactory.h"

#include "PortServerObject.h"

namespace PortServerProgram {

ClassFactory::ClassFactory(ServerProcess& process, HandsetSource& handsets)
    : process_(process)
    , handsets_(handsets)
{}

std::span<const ComServer::InterfaceEntry<ClassFactory>> ClassFactory::interfaceTable()
{
    static constexpr ComServer::InterfaceEntry<ClassFactory> table[] = {
        ComServer::interfaceEntry<ClassFactory, IClassFactory>(IID_IClassFactory),
    };
    return table;
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
    return ComServer::guard(PortServerObject::boundary(IID_IClassFactory), [&] {
        return PortServerObject::create(std::move(served))->QueryInterface(iid, object);
    });
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
