// The creatable classes of Vornak.dll as data: one row per class drives
// DllGetClassObject, DllRegisterServer and DllUnregisterServer
// (ComServer::InprocServer::thisModule), with the type library whose type
// information serves the classes' IDispatch.
#pragma once

#include "platform/Com.h"

namespace Vornak {

// Creates an object through the platform as the module's objects create one
// another: as IUnknown with context 0x17 (in-process and out-of-process
// servers alike), run with OleRun, then asked for `iid`. Throws _com_error.
void createRunningObject(REFCLSID clsid, REFIID iid, void** out);

} // namespace Vornak
