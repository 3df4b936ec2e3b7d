// The entry point and the four exports of an in-process module: the same
// file for Vornak.dll and VornakTools.dll, each of which supplies its server
// (InprocServer::thisModule) with its class rows and type library.
#include "comserver/InprocServer.h"
#include "comserver/Module.h"
#include "comserver/ModuleLock.h"

#include <olectl.h>

using ComServer::InprocServer;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        DisableThreadLibraryCalls(instance);
        ComServer::Module::attach(instance);
        break;
    case DLL_PROCESS_DETACH:
        // At process exit (reserved not null) other modules may already be
        // gone, so the cached objects are left to the system.
        if (reserved == nullptr) {
            InprocServer::thisModule().release();
            ComServer::Module::detach();
        }
        break;
    default:
        break;
    }
    return TRUE;
}

STDAPI DllCanUnloadNow()
{
    return ComServer::ModuleLock::count() == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out)
{
    return InprocServer::thisModule().getClassObject(clsid, iid, out);
}

STDAPI DllRegisterServer()
{
    return InprocServer::thisModule().registerServer();
}

STDAPI DllUnregisterServer()
{
    return InprocServer::thisModule().unregisterServer();
}
