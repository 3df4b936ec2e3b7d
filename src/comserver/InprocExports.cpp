// The module's entry point and its four exports; each forwards to the module
// state or the class table.
#include "vornak/ClassTable.h"
#include "vornak/Module.h"
#include "vornak/TypeLibrary.h"

#include <olectl.h>

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
            Vornak::ClassTable::releaseClassObjects();
            Vornak::TypeLibrary::release();
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
    return Vornak::ClassTable::getClassObject(clsid, iid, out);
}

STDAPI DllRegisterServer()
{
    return Vornak::ClassTable::registerServer();
}

STDAPI DllUnregisterServer()
{
    return Vornak::ClassTable::unregisterServer();
}
