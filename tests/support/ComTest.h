// What the COM tests share: the loaded module's exports, creation through
// the platform, the thread's error information read back, and a test double
// that is a real COM object counting its references.
#pragma once

#include "comserver/ComObject.h"
#include "diag/PortInterfaces.h"
#include "diag/ReservedSlots.h"
#include "platform/Bstr.h"
#include "platform/Com.h"
#include "platform/ComPtr.h"

#include <gtest/gtest.h>
#include <vornak/Vornak.h>

#include <span>
#include <string>

namespace ComTest {

// An export of `moduleName` as COM loaded it; null when it is not loaded.
template <class Function>
Function moduleExport(const char* name, const wchar_t* moduleName = L"Vornak.dll")
{
    const HMODULE module = GetModuleHandleW(moduleName);
    return module == nullptr ? nullptr
                             : reinterpret_cast<Function>(
                                   reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
// DllCanUnloadNow of the loaded module; E_UNEXPECTED when it is not loaded.
inline HRESULT canUnloadNow(const wchar_t* moduleName = L"Vornak.dll")
{
    const auto function = moduleExport<HRESULT(STDAPICALLTYPE*)()>("DllCanUnloadNow", moduleName);
    return function == nullptr ? E_UNEXPECTED : function();
}

// A BSTR of a wide literal.
inline Platform::Bstr bstr(const wchar_t* text)
{
    return Platform::Bstr(Platform::asUtf16(text));
}

// Created as the module's own objects create one another: as IUnknown with
// context 0x17, then run with OleRun. Null, with a test failure, on failure.
inline Platform::ComPtr<IUnknown> createRunning(REFCLSID clsid)
{
    Platform::ComPtr<IUnknown> object;
    HRESULT hr = CoCreateInstance(clsid, nullptr, 0x17, IID_IUnknown, object.putVoid());
    EXPECT_EQ(hr, S_OK) << "CoCreateInstance";
    if (SUCCEEDED(hr)) {
        hr = OleRun(object.get());
        EXPECT_EQ(hr, S_OK) << "OleRun";
    }
    return SUCCEEDED(hr) ? object : Platform::ComPtr<IUnknown>();
}

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
inline ErrorRecord takeErrorInfo()
{
    ErrorRecord record;
    Platform::ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK || !info) {
        return record;
    }
    record.present = true;
    info->GetGUID(&record.guid);
    Platform::Bstr text;
    info->GetSource(text.put());
    record.hasSource = text.get() != nullptr;
    record.source = record.hasSource ? text.get() : L"";
    info->GetDescription(text.put());
    record.description = text.get() != nullptr ? text.get() : L"";
    info->GetHelpFile(text.put());
    record.hasHelpFile = text.get() != nullptr;
    info->GetHelpContext(&record.helpContext);
    return record;
}
inline void clearErrorInfo()
{
    SetErrorInfo(0, nullptr);
}

// Answers IUnknown and, when made as a port, IDiagPort; refuses anything
// else with `refusal`. Made with make(kind, refusal).
class CountedPort final : public ComServer::ComObject<CountedPort, IDiagPort> {
public:
    enum class Kind { NotAPort, Port };

    static std::span<const ComServer::InterfaceEntry<CountedPort>> interfaceTable()
    {
        static constexpr ComServer::InterfaceEntry<CountedPort> table[] = {
            ComServer::interfaceEntry<CountedPort, IDiagPort>(IID_IDiagPort),
        };
        return table;
    }

    // References held by others than the test itself.
    ULONG held()
    {
        AddRef();
        return Release() - 1;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        const bool known = IsEqualIID(iid, IID_IUnknown) ||
                           (kind_ == Kind::Port && IsEqualIID(iid, IID_IDiagPort));
        if (!known) {
            *out = nullptr;
            return refusal_;
        }
        return ComObject::QueryInterface(iid, out);
    }
    VORNAK_RESERVED_SLOTS_1_TO_3
    HRESULT STDMETHODCALLTYPE SendRequest(ULONG, const BYTE*, ULONG, ULONG, ULONG, USHORT*,
                                          BYTE*) override
    {
        return E_NOTIMPL;
    }

private:
    friend ComObject;
    explicit CountedPort(Kind kind = Kind::Port, HRESULT refusal = E_NOINTERFACE)
        : kind_(kind)
        , refusal_(refusal)
    {}

    Kind kind_;
    HRESULT refusal_;
};

} // namespace ComTest
