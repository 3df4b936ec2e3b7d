#include "ServerProcess.h"

#include <new>

namespace PortServerProgram {

ServerProcess::ServerProcess()
    : stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    if (stop_ == nullptr) {
        throw std::bad_alloc();
    }
}

ServerProcess::~ServerProcess()
{
    CloseHandle(stop_);
}

void ServerProcess::addReference()
{
    referenced_ = true;
    CoAddRefServerProcess();
}

void ServerProcess::releaseReference()
{
    // At none COM also stops handing out the class object, so no new client
    // reaches a process that is about to end.
    if (CoReleaseServerProcess() == 0) {
        SetEvent(stop_);
    }
}

HRESULT ServerProcess::serve(REFCLSID clsid, IClassFactory* factory, DWORD idleLimit)
{
    DWORD cookie = 0;
    HRESULT hr = CoRegisterClassObject(clsid, factory, CLSCTX_LOCAL_SERVER,
                                       REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED, &cookie);
    if (FAILED(hr)) {
        return hr;
    }
    hr = CoResumeClassObjects();
    if (SUCCEEDED(hr)) {
        // A process that COM started for a client that gave up before
        // creating anything would otherwise wait forever.
        if (WaitForSingleObject(stop_, idleLimit) == WAIT_TIMEOUT && referenced_) {
            WaitForSingleObject(stop_, INFINITE);
        }
    }
    const HRESULT revoked = CoRevokeClassObject(cookie);
    return FAILED(hr) ? hr : revoked;
}

} // namespace PortServerProgram
