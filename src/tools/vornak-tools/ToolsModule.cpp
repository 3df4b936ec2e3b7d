// The entry point and the four exports of VornakTools.dll, and its class
// table: the emulated port, the serial port and the script tools, all
// registered "Free" (CEmulatedPort.h and CScriptTools.h say why).
#include "tools/vornak-tools/CEmulatedPort.h"
#include "tools/vornak-tools/CScriptTools.h"
#include "tools/vornak-tools/CSerialPort.h"
#include "tools/vornak-tools/TypeLibrary.h"
#include "vornak/InprocServer.h"
#include "vornak/Module.h"

#include "vornak-tools/VornakTools.h"
#include <olectl.h>

namespace {

Vornak::ClassRow table[] = {
    {&CLSID_EmulatedPort, L"Vornak.EmulatedPort.1", L"Vornak.EmulatedPort", L"EmulatedPort Class",
     L"Free", &VornakTools::CEmulatedPort::create},
    {&CLSID_SerialPort, L"Vornak.SerialPort.1", L"Vornak.SerialPort", L"SerialPort Class", L"Free",
     &VornakTools::CSerialPort::create},
    {&CLSID_ScriptTools, L"Vornak.ScriptTools.1", L"Vornak.ScriptTools", L"ScriptTools Class",
     L"Free", &VornakTools::CScriptTools::create},
};

constinit const Vornak::InprocServer server(table, LIBID_VornakToolsLib);

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
            VornakTools::TypeLibrary::release();
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
