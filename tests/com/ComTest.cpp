#include "com/ComTest.h"

#include <gmock/gmock.h>

namespace ComTest {

void (*moduleExport(const char* name))()
{
    const HMODULE module = GetModuleHandleW(L"Vornak.dll");
    // GetProcAddress knows no signature; void (*)() is the neutral one.
    return module == nullptr ? nullptr : reinterpret_cast<void (*)()>(GetProcAddress(module, name));
}

HRESULT canUnloadNow()
{
    const auto function = moduleExport<HRESULT(STDAPICALLTYPE*)()>("DllCanUnloadNow");
    return function == nullptr ? E_UNEXPECTED : function();
}

Platform::ComPtr<IUnknown> createRunning(REFCLSID clsid)
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

ErrorRecord takeErrorInfo()
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

void clearErrorInfo()
{
    SetErrorInfo(0, nullptr);
}

HRESULT CountedPort::QueryInterface(REFIID iid, void** out)
{
    if (IsEqualIID(iid, IID_IUnknown) || (kind_ == Kind::Port && IsEqualIID(iid, IID_IDiagPort))) {
        AddRef();
        *out = static_cast<IDiagPort*>(this);
        return S_OK;
    }
    *out = nullptr;
    return refusal_;
}

} // namespace ComTest

namespace {

// Every program runs its tests in the multithreaded apartment and ends with
// no object or lock of the module left.
class ComEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK); }
    void TearDown() override
    {
        if (GetModuleHandleW(L"Vornak.dll") != nullptr) {
            EXPECT_EQ(ComTest::canUnloadNow(), S_OK) << "an object or a lock of the module lives";
        }
        CoUninitialize();
    }
};

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleMock(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new ComEnvironment);
    return RUN_ALL_TESTS();
}
