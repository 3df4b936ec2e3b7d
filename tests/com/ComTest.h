// What the COM tests share: the loaded module's exports, creation through
// the platform, the thread's error information read back, and a test double
// that is a real COM object counting its references.
#pragma once

#include "diag/PortInterfaces.h"
#include "platform/Bstr.h"
#include "platform/Com.h"
#include "platform/ComPtr.h"

#include <gtest/gtest.h>
#include <vornak/Vornak.h>

#include <string>

namespace ComTest {

// An export of Vornak.dll as COM loaded it; null when it is not loaded.
void (*moduleExport(const char* name))();
template <class Function>
Function moduleExport(const char* name)
{
    return reinterpret_cast<Function>(moduleExport(name));
}
// DllCanUnloadNow of the loaded module; E_UNEXPECTED when it is not loaded.
HRESULT canUnloadNow();

// Created as the module's own objects create one another: as IUnknown with
// context 0x17, then run with OleRun. Null, with a test failure, on failure.
Platform::ComPtr<IUnknown> createRunning(REFCLSID clsid);

template <class T>
Platform::ComPtr<T> query(IUnknown* object, REFIID iid)
{
    Platform::ComPtr<T> result;
    EXPECT_EQ(Platform::queryInterfaceNoThrow(object, iid, result), S_OK) << "QueryInterface";
    return result;
}

template <class T>
Platform::ComPtr<T> create(REFCLSID clsid, REFIID iid)
{
    const Platform::ComPtr<IUnknown> object = createRunning(clsid);
    return object ? query<T>(object.get(), iid) : Platform::ComPtr<T>();
}

// The calling thread's error information, taken (and so cleared).
struct ErrorRecord {
    bool present = false;
    GUID guid = GUID_NULL;
    bool hasSource = false;
    std::wstring source;
    std::wstring description;
    bool hasHelpFile = false;
    DWORD helpContext = 0;
};
ErrorRecord takeErrorInfo();
void clearErrorInfo();

// Answers IUnknown and, when made as a port, IDiagPort; refuses anything
// else with `refusal`. Lives on the stack: Release never deletes.
class CountedPort final : public IDiagPort {
public:
    enum class Kind { NotAPort, Port };
    explicit CountedPort(Kind kind = Kind::Port, HRESULT refusal = E_NOINTERFACE)
        : kind_(kind)
        , refusal_(refusal)
    {}

    // References held by others than the test itself.
    ULONG held() const { return references_ - 1; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE Reserved1() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved2() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SendRequest(ULONG, const BYTE*, ULONG, ULONG, ULONG, USHORT*,
                                          BYTE*) override
    {
        return E_NOTIMPL;
    }

private:
    Kind kind_;
    HRESULT refusal_;
    ULONG references_ = 1;
};

} // namespace ComTest
