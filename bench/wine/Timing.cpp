#include "Timing.h"

#include "comserver/InprocServer.h"
#include "comserver/Module.h"

#include <cstdio>
#include <cstdlib>

namespace Bench {

InProcessModule::InProcessModule()
{
    check(CoInitializeEx(nullptr, COINIT_MULTITHREADED), "CoInitializeEx");
    ComServer::Module::attach(GetModuleHandleW(nullptr));
    const ComServer::InprocServer& server = ComServer::InprocServer::thisModule();
    for (const ComServer::ClassRow& row : server.rows()) {
        IUnknown* factory = nullptr;
        check(server.getClassObject(*row.clsid, IID_IUnknown, reinterpret_cast<void**>(&factory)),
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
    ComServer::Module::detach();
    CoUninitialize();
}

void check(HRESULT hr, const char* what)
{
    if (FAILED(hr)) {
        std::fprintf(stderr, "%s failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
        std::exit(1);
    }
}

void expect(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "%s\n", what);
        std::exit(1);
    }
}

std::vector<std::uint8_t> patternBytes(std::uint32_t size, std::uint32_t packet)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::uint32_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / packet);
    }
    return bytes;
}

} // namespace Bench
