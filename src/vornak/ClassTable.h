// The creatable classes of Vornak.dll as data: one row per class drives
// DllGetClassObject, DllRegisterServer and DllUnregisterServer.
#pragma once

#include "platform/Com.h"
#include "vornak/InprocServer.h"

#include <span>

namespace Vornak {

class ClassTable {
public:
    // The rows, in the order DllGetClassObject searches them.
    static std::span<ClassRow> rows();

    // The cached class object of `clsid` asked for `iid`;
    // CLASS_E_CLASSNOTAVAILABLE for a class not in the table.
    static HRESULT getClassObject(REFCLSID clsid, REFIID iid, void** out);
    static void releaseClassObjects();

    // Writes (or removes) the registry keys of every row and registers (or
    // unregisters) the type library; stops at the first failure.
    static HRESULT registerServer();
    static HRESULT unregisterServer();
};

// Creates an object through the platform as the module's objects create one
// another: as IUnknown with context 0x17 (in-process and out-of-process
// servers alike), run with OleRun, then asked for `iid`. Throws _com_error.
void createRunningObject(REFCLSID clsid, REFIID iid, void** out);

} // namespace Vornak
