// The life of the port server's process as COM sees it: a count of what keeps
// the process (objects held by clients, class-object locks) and the wait of
// its main thread until that count falls to none.
#pragma once

#include "platform/Com.h"

#include <atomic>

namespace PortServerProgram {

class ServerProcess {
public:
    ServerProcess();
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // One more reason for the process to stay.
    void addReference();
    // One reason less; with none left, the main thread stops serving.
    void releaseReference();

    // A reference held for the life of an object.
    class Reference {
    public:
        explicit Reference(ServerProcess& process)
            : process_(process)
        {
            process_.addReference();
        }
        ~Reference() { process_.releaseReference(); }
        Reference(const Reference&) = delete;
        Reference& operator=(const Reference&) = delete;

    private:
        ServerProcess& process_;
    };

    // Offers `factory` for `clsid` to other processes until the last
    // reference goes, or until `idleLimit` milliseconds pass without a first
    // one; then withdraws it. Returns the first failing HRESULT.
    HRESULT serve(REFCLSID clsid, IClassFactory* factory, DWORD idleLimit);

private:
    HANDLE stop_;
    std::atomic<bool> referenced_{false};
};

} // namespace PortServerProgram
