// The class object of the port server program: each instance it makes is a
// PortServerObject over the process's one handset.
#pragma once

#include "ServedHandset.h"
#include "ServerProcess.h"
#include "platform/Com.h"

#include <atomic>

namespace PortServerProgram {

// Lives on the main thread's stack for as long as it is registered, so
// AddRef and Release only count.
class ClassFactory final : public IClassFactory {
public:
    ClassFactory(ServerProcess& process, HandsetSource& handsets);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // Aggregation is refused (CLASS_E_NOAGGREGATION).
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    // A lock keeps the process as an object does.
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    ServerProcess& process_;
    HandsetSource& handsets_;
    std::atomic<ULONG> references_{1};
};

} // namespace PortServerProgram
