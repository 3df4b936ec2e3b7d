// The class object of the port server program: each instance it makes is a
// PortServerObject over the process's one handset.
#pragma once

#include "ServedHandset.h"
#include "ServerProcess.h"
#include "comserver/ComObject.h"
#include "platform/Com.h"

#include <span>

namespace PortServerProgram {

class ClassFactory final : public ComServer::ComObject<ClassFactory, IClassFactory> {
public:
    static std::span<const ComServer::InterfaceEntry<ClassFactory>> interfaceTable();

    // Aggregation is refused (CLASS_E_NOAGGREGATION).
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    // A lock keeps the process as an object does.
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    friend ComObject;
    // Both outlive the class object's registration.
    ClassFactory(ServerProcess& process, HandsetSource& handsets);

    ServerProcess& process_;
    HandsetSource& handsets_;
};

} // namespace PortServerProgram
