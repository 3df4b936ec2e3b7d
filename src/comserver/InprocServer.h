// An in-process server as data: a table of creatable classes and the type
// library they are described in drive DllGetClassObject, DllRegisterServer and
// DllUnregisterServer. Vornak.dll and the emulated port module each keep one
// such table; the code behind it is shared.
#pragma once

#include "platform/Com.h"

#include <atomic>
#include <span>

namespace Vornak {

// Creates an instance, stand-alone when `outer` is null and aggregated
// otherwise, and asks it for `iid`.
using CreateFunction = HRESULT (*)(IUnknown* outer, REFIID iid, void** out) noexcept;

struct ClassRow {
    const CLSID* clsid;
    const wchar_t* progId;
    const wchar_t* versionIndependentProgId;
    const wchar_t* displayName;
    // The InprocServer32 ThreadingModel value ("Free", "Both", ...).
    const wchar_t* threadingModel;
    CreateFunction create;
    // The class object, created on the first request and kept until unload.
    std::atomic<IClassFactory*> classObject = nullptr;
};

class InprocServer {
public:
    // `rows` (searched in order) and the module's type library `library`,
    // which the module carries as resource TYPELIB 1.
    constexpr InprocServer(std::span<ClassRow> rows, const GUID& library)
        : rows_(rows)
        , library_(&library)
    {}

    std::span<ClassRow> rows() const { return rows_; }

    // The cached class object of `clsid` asked for `iid`, created once under
    // the module's critical section; CLASS_E_CLASSNOTAVAILABLE for a class
    // not in the table.
    HRESULT getClassObject(REFCLSID clsid, REFIID iid, void** out) const;
    // Releases the cached class objects (module unload).
    void releaseClassObjects() const;

    // Writes (or removes) the registry keys of every row under
    // HKEY_CLASSES_ROOT and registers (or unregisters) the module's type
    // library; stops at the first failure and returns it.
    HRESULT registerServer() const;
    HRESULT unregisterServer() const;

private:
    std::span<ClassRow> rows_;
    const GUID* library_;
};

} // namespace Vornak
