// What the COM tests share: the loaded module's exports, creation through
// the platform, the thread's error information read back, and test doubles
// that are real COM objects counting their references.
#pragma once

#include "diag/PortInterfaces.h"
#include "platform/Bstr.h"
#include "platform/Com.h"
#include "platform/ComPtr.h"

#include <gtest/gtest.h>
#include <vornak/Vornak.h>

#include <string>

namespace ComTest {

// An export of the module as COM loaded it, as a `Function`; null when the
// module is not loaded.
void (*moduleExport(const char* name))();
template <class Function>
Function moduleExport(const char* name)
{
    return reinterpret_cast<Function>(moduleExport(name));
}
// The module's DllCanUnloadNow; E_UNEXPECTED when the module is not loaded.
HRESULT canUnloadNow();

// Creates an object as the module's own objects do: as IUnknown with context
// 0x17, then run with OleRun. Null, with a test failure, when that fails.
Platform::ComPtr<IUnknown> createRunning(REFCLSID clsid);

// `object` asked for T; null, with a test failure, when it refuses.
template <class T>
Platform::ComPtr<T> query(IUnknown* object, REFIID iid)
{
    Platform::ComPtr<T> result;
    const HRESULT hr = Platform::queryInterfaceNoThrow(object, iid, result);
    EXPECT_EQ(hr, S_OK) << "QueryInterface";
    return result;
}

// createRunning() asked for T.
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
    std::wstring source;
    std::wstring description;
    std::wstring helpFile;
    DWORD helpContext = 0;
    bool hasSource = false;
    bool hasHelpFile = false;
};
ErrorRecord takeErrorInfo();
// Clears the calling thread's error information.
void clearErrorInfo();

// A COM object that counts its references. It answers IUnknown and, when
// made as a port, IDiagPort; other requests fail with `refusal`.
class CountedPort final : public IDiagPort {
public:
    enum class Kind { NotAPort, Port };
    explicit CountedPort(Kind kind = Kind::Port, HRESULT refusal = E_NOINTERFACE)
        : kind_(kind)
        , refusal_(refusal)
    {}

    // References held by others (the test's own is not counted).
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
