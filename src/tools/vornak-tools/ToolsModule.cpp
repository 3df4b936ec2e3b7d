// The entry point and the four exports of VornakEmulator.dll, and its class
// table: the one class EmulatedPort, registered "Both" (see CEmulatedPort.h).
#include "tools/emulated-port/CEmulatedPort.h"
#include "tools/emulated-port/TypeLibrary.h"
#include "vornak/InprocServer.h"
#include "vornak/Module.h"

#include "emulated-port/VornakEmulator.h"
#include <olectl.h>

namespace {

Vornak::ClassRow table[] = {
    {&CLSID_EmulatedPort, L"Vornak.EmulatedPort.1", L"Vornak.EmulatedPort", L"EmulatedPort Class",
     L"Both", &VornakEmulator::CEmulatedPort::create},
};

constinit const Vornak::InprocServer server(table, LIBID_VornakEmulatorLib);

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        DisableThreadLibraryCalls(instance);
        Vornak::Module::attach(instance);
        break;
    case DLL_PROCESS_DETACH:
        // At process exit (reserved not null) other modules may already be
        // gone, so the cached objects are left to the system.
        if (reserved == nullptr) {
            server.releaseClassObjects();
            VornakEmulator::TypeLibrary::release();
            Vornak::Module::detach();
        }
        break;
    default:
        break;
    }
    return TRUE;
}

STDAPI DllCanUnloadNow()
{
    return Vornak::Module::lockCount() == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out)
{
    return server.getClassObject(clsid, iid, out);
}

STDAPI DllRegisterServer()
{
    return server.registerServer();
}

STDAPI DllUnregisterServer()
{
    return server.unregisterServer();
}
