#include "Timing.h"

#include "vornak/ClassTable.h"
#include "vornak/Module.h"

#include <cstdio>
#include <cstdlib>

namespace Bench {

InProcessModule::InProcessModule()
{
    check(CoInitializeEx(nullptr, COINIT_MULTITHREADED), "CoInitializeEx");
    Vornak::Module::attach(GetModuleHandleW(nullptr));
    for (const Vornak::ClassRow& row : Vornak::ClassTable::rows()) {
        IUnknown* factory = nullptr;
        check(Vornak::ClassTable::getClassObject(*row.clsid, IID_IUnknown,
                                                 reinterpret_cast<void**>(&factory)),
              "DllGetClassObject");
        DWORD cookie = 0;
        check(CoRegisterClassObject(*row.clsid, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                    &cookie),
              "CoRegisterClassObject");
        factory->Release();
        cookies_.push_back(cookie);
    }
}

InProcessModule::~InProcessModule()
{
    for (const DWORD cookie : cookies_) {
        CoRevokeClassObject(cookie);
    }
    Vornak::Module::detach();
    CoUninitialize();
}

void check(HRESULT hr, const char* what)
{
    if (FAILED(hr)) {
        std::fprintf(stderr, "%s failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
        std::exit(1);
    }
}

} // namespace Bench
