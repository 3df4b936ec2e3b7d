#include "vornak/ClassTable.h"

#include "platform/ComError.h"
#include "platform/ComPtr.h"
#include "vornak/CTavoEFSEnum.h"
#include "vornak/CTavoEFSFolder.h"
#include "vornak/CTavoWinFolder.h"
#include "vornak/FileStream.h"
#include "vornak/Module.h"
#include "vornak/Vornak.h"

#include <new>

namespace Vornak {

namespace {

ClassRow table[] = {
    {&CLSID_TavoEFSFile, L"Vornak.TavoEFSFile.1", L"Vornak.TavoEFSFile", L"TavoEFSFile Class",
     &Efs::FileStream::create},
    {&CLSID_TavoEFSFolder, L"Vornak.TavoEFSFolder.1", L"Vornak.TavoEFSFolder",
     L"TavoEFSFolder Class", &CTavoEFSFolder::create},
    {&CLSID_TavoEFSEnum, L"Vornak.TavoEFSEnum.1", L"Vornak.TavoEFSEnum", L"TavoEFSEnum Class",
     &CTavoEFSEnum::create},
    {&CLSID_TavoWinFolder, L"Vornak.TavoWinFolder.1", L"Vornak.TavoWinFolder",
     L"TavoWinFolder Class", &CTavoWinFolder::create},
};

// The class object of one row. It does not hold the module: the row's cache
// keeps it until unload, and clients that keep it use LockServer.
class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(CreateFunction create)
        : create_(create)
    {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (out == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            AddRef();
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        return static_cast<ULONG>(InterlockedIncrement(&references_));
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG remaining = InterlockedDecrement(&references_);
        if (remaining == 0) {
            delete this;
        }
        return static_cast<ULONG>(remaining);
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        return create_(outer, iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock) {
            Module::lock();
        } else {
            Module::unlock();
        }
        return S_OK;
    }

private:
    ~ClassFactory() = default;

    CreateFunction create_;
    LONG references_ = 1;
};

} // namespace

std::span<ClassRow> ClassTable::rows()
{
    return table;
}

HRESULT ClassTable::getClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    for (ClassRow& row : table) {
        if (!IsEqualCLSID(clsid, *row.clsid)) {
            continue;
        }
        IClassFactory* factory = row.classObject.load();
        if (factory == nullptr) {
            const Module::SectionLock lock;
            if (!lock.ready()) {
                return E_OUTOFMEMORY;
            }
            factory = row.classObject.load();
            if (factory == nullptr) {
                factory = new (std::nothrow) ClassFactory(row.create);
                if (factory == nullptr) {
                    return E_OUTOFMEMORY;
                }
                row.classObject.store(factory);
            }
        }
        return factory->QueryInterface(iid, out);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

void ClassTable::releaseClassObjects()
{
    for (ClassRow& row : table) {
        if (IClassFactory* factory = row.classObject.exchange(nullptr)) {
            factory->Release();
        }
    }
}

void createRunningObject(REFCLSID clsid, REFIID iid, void** out)
{
    constexpr DWORD kAnyServer =
        CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
    Platform::ComPtr<IUnknown> object;
    Platform::throwIfFailed(
        CoCreateInstance(clsid, nullptr, kAnyServer, IID_IUnknown, object.putVoid()));
    Platform::throwIfFailed(OleRun(object.get()));
    Platform::throwIfFailed(object->QueryInterface(iid, out));
}

} // namespace Vornak
