// An in-process server as data: a table of creatable classes and the type
// library they are described in drive DllGetClassObject, DllRegisterServer,
// DllUnregisterServer and the IDispatch of the dual interfaces. Vornak.dll
// and VornakTools.dll each define theirs (InprocServer::thisModule); the
// exports of InprocExports.cpp and the code behind them are shared.
#pragma once

#include "comserver/TypeInfoCache.h"
#include "platform/Com.h"

#include <atomic>
#include <span>

namespace ComServer {

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
    // `rows` (searched in order) and the type information of the module's
    // type library, which the module carries as resource TYPELIB 1.
    constexpr InprocServer(std::span<ClassRow> rows, TypeInfoCache& typeInfo)
        : rows_(rows)
        , typeInfo_(&typeInfo)
    {}

    // The server of the module this code is linked into. Each in-process
    // module defines it once, with its class rows and type library.
    static const InprocServer& thisModule();

    std::span<ClassRow> rows() const { return rows_; }
    TypeInfoCache& typeInfo() const { return *typeInfo_; }

    // The cached class object of `clsid` asked for `iid`, created once under
    // the module's critical section; CLASS_E_CLASSNOTAVAILABLE for a class
    // not in the table.
    HRESULT getClassObject(REFCLSID clsid, REFIID iid, void** out) const;
    // Releases the cached class objects and type information (module unload).
    void release() const;

    // Writes (or removes) the registry keys of every row under
    // HKEY_CLASSES_ROOT and registers (or unregisters) the module's type
    // library; stops at the first failure and returns it.
    HRESULT registerServer() const;
    HRESULT unregisterServer() const;

private:
    std::span<ClassRow> rows_;
    TypeInfoCache* typeInfo_;
};

} // namespace ComServer
