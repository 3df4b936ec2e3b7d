// VornakTools.dll under Wine's COM runtime: registered by regsvr32 before
// this program runs. The emulated port created by ProgID, driven through
// IEmulatedPort (also through IDispatch) and the port interfaces Vornak calls.
#include "diag/PortInterfaces.h"
#include "platform/Bstr.h"
#include "platform/Com.h"
#include "platform/ComPtr.h"
#include "unit/emulator/Packets.h"
#include "vornak-tools/VornakTools.h"

#include <gtest/gtest.h>
#include <vornak/Vornak.h>

#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using EmulatorTest::Bytes;
using EmulatorTest::Packet;
using Platform::Bstr;
using Platform::ComPtr;
namespace Efs2 = Diag::Efs2;

template <class T>
ComPtr<T> query(IUnknown* object, REFIID iid)
{
    ComPtr<T> result;
    EXPECT_EQ(Platform::queryInterfaceNoThrow(object, iid, result), S_OK);
    return result;
}

Bstr bstr(const wchar_t* text)
{
    return Bstr(Platform::asUtf16(text));
}

struct ErrorRecord {
    std::wstring source;
    std::wstring description;
    DWORD helpContext = 0;
};
// The calling thread's error information, taken (and so cleared).
std::optional<ErrorRecord> takeErrorInfo()
{
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK || !info) {
        return std::nullopt;
    }
    ErrorRecord record;
    Bstr text;
    info->GetSource(text.put());
    record.source = text.get() != nullptr ? text.get() : L"";
    info->GetDescription(text.put());
    record.description = text.get() != nullptr ? text.get() : L"";
    info->GetHelpContext(&record.helpContext);
    return record;
}

// A string value under HKEY_CLASSES_ROOT; empty when key or value is missing.
std::wstring registryValue(const std::wstring& key, const wchar_t* name = nullptr)
{
    wchar_t buffer[512] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    const LSTATUS status =
        RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size);
    return status == ERROR_SUCCESS ? buffer : L"";
}

std::wstring text(REFGUID guid)
{
    wchar_t buffer[39] = {};
    StringFromGUID2(guid, buffer, 39);
    return buffer;
}

TEST(ToolsRegistration, NamesEveryClassItsModuleAndItsLibrary)
{
    const std::pair<const wchar_t*, const CLSID*> classes[] = {
        {L"Vornak.EmulatedPort", &CLSID_EmulatedPort},
        {L"Vornak.SerialPort", &CLSID_SerialPort},
        {L"Vornak.ScriptTools", &CLSID_ScriptTools}};
    for (const auto& [name, clsid] : classes) {
        const std::wstring progId = name;
        EXPECT_EQ(registryValue(progId + L".1\\CLSID"), text(*clsid)) << progId;
        EXPECT_EQ(registryValue(progId + L"\\CurVer"), progId + L".1");
        const std::wstring key = L"CLSID\\" + text(*clsid);
        EXPECT_EQ(registryValue(key + L"\\InprocServer32", L"ThreadingModel"), L"Free") << progId;
        EXPECT_NE(registryValue(key + L"\\InprocServer32").find(L"VornakTools.dll"),
                  std::wstring::npos);
        EXPECT_EQ(registryValue(key + L"\\TypeLib"), text(LIBID_VornakToolsLib)) << progId;
    }
    ComPtr<ITypeLib> library;
    EXPECT_EQ(LoadRegTypeLib(LIBID_VornakToolsLib, 1, 0, 1033, library.put()), S_OK);
}

class EmulatedPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CLSID clsid = GUID_NULL;
        ASSERT_EQ(CLSIDFromProgID(L"Vornak.EmulatedPort", &clsid), S_OK);
        ASSERT_TRUE(IsEqualCLSID(clsid, CLSID_EmulatedPort));
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IEmulatedPort,
                                   port_.putVoid()),
                  S_OK);
        diag_ = query<IDiagPort>(port_.get(), IID_IDiagPort);
    }
    void TearDown() override
    {
        diag_.reset();
        // Whatever the test took, the port is gone with the last reference.
        EXPECT_EQ(port_.detach()->Release(), 0u);
    }

    // One request through IDiagPort; the response in `response`.
    HRESULT send(const Bytes& request, Bytes& response, ULONG timeout = 1000)
    {
        response.assign(Efs2::kMaxData + 64, 0xCC);
        auto length = static_cast<USHORT>(response.size());
        const HRESULT hr = diag_->SendRequest(static_cast<ULONG>(request.size()), request.data(), 1,
                                              0, timeout, &length, response.data());
        response.resize(length);
        return hr;
    }
    // OPENDIR of `path`: the directory handle, 0 when it failed.
    std::uint32_t openDirectory(std::string_view path)
    {
        Bytes response;
        EXPECT_EQ(send(Packet(Efs2::OpenDir).text(path), response), S_OK);
        return EmulatorTest::field32(response, 8) == 0 ? EmulatorTest::field32(response, 4) : 0;
    }
    LONG property(HRESULT (STDMETHODCALLTYPE IEmulatedPort::*get)(LONG*))
    {
        LONG value = -1;
        EXPECT_EQ((port_.get()->*get)(&value), S_OK);
        return value;
    }

    ComPtr<IEmulatedPort> port_;
    ComPtr<IDiagPort> diag_;
};

TEST_F(EmulatedPortTest, AnswersItsInterfacesAsOneObject)
{
    const IID* const answered[] = {&IID_IEmulatedPort, &IID_IDispatch,   &IID_IDiagPort,
                                   &IID_IPortIdentity, &IID_IServerPort, &IID_ISupportErrorInfo};
    const auto identity = query<IUnknown>(port_.get(), IID_IUnknown);
    for (const IID* iid : answered) {
        const auto other = query<IUnknown>(port_.get(), *iid);
        ASSERT_TRUE(other);
        EXPECT_EQ(query<IUnknown>(other.get(), IID_IUnknown).get(), identity.get());
    }
    ComPtr<IStorage> storage;
    EXPECT_EQ(Platform::queryInterfaceNoThrow(port_.get(), IID_IStorage, storage), E_NOINTERFACE);

    const auto errors = query<ISupportErrorInfo>(port_.get(), IID_ISupportErrorInfo);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IEmulatedPort), S_OK);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IDiagPort), S_FALSE);
}

// A script's single-threaded apartment creates the port and hands it to a
// folder of Vornak.dll, which lives in the multithreaded apartment. The
// folder must get the port itself, since IDiagPort has no proxy; the script
// calls the port through the type library's proxy.
TEST_F(EmulatedPortTest, ReachesVornakAsItselfFromAScriptsApartment)
{
    std::thread script([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        {
            ComPtr<IEmulatedPort> port;
            ASSERT_EQ(CoCreateInstance(CLSID_EmulatedPort, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IEmulatedPort, port.putVoid()),
                      S_OK);
            ASSERT_EQ(port->MakeDirectory(bstr(L"/a").get()), S_OK);
            ComPtr<IDispatch> folder;
            ASSERT_EQ(CoCreateInstance(CLSID_TavoEFSFolder, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IDispatch, folder.putVoid()),
                      S_OK);
            // folder.Connect(port, 5000, "/", 19), as a script calls it.
            const Bstr root = bstr(L"/");
            VARIANT arguments[4]; // last first
            V_VT(&arguments[3]) = VT_UNKNOWN;
            V_UNKNOWN(&arguments[3]) = port.get();
            V_VT(&arguments[2]) = VT_UI4;
            V_UI4(&arguments[2]) = 5000;
            V_VT(&arguments[1]) = VT_BSTR;
            V_BSTR(&arguments[1]) = root.get();
            V_VT(&arguments[0]) = VT_UI4;
            V_UI4(&arguments[0]) = 19;
            DISPPARAMS parameters = {arguments, nullptr, 4, 0};
            ASSERT_EQ(folder->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &parameters, nullptr, nullptr,
                                     nullptr),
                      S_OK);
            ComPtr<IEnumSTATSTG> elements;
            EXPECT_EQ(query<IStorage>(folder.get(), IID_IStorage)
                          ->EnumElements(0, nullptr, 0, elements.put()),
                      S_OK);
            VARIANT every;
            V_VT(&every) = VT_ERROR;
            V_ERROR(&every) = DISP_E_PARAMNOTFOUND;
            LONG carried = 0;
            ASSERT_EQ(port->RequestCount(every, &carried), S_OK);
            EXPECT_EQ(carried, 4); // OPENDIR, two READDIR, CLOSEDIR
        }
        CoUninitialize();
    });
    script.join();
}

TEST_F(EmulatedPortTest, ServesItsDualInterfaceThroughIDispatch)
{
    const auto dispatch = query<IDispatch>(port_.get(), IID_IDispatch);
    const struct {
        const wchar_t* name;
        DISPID id;
    } names[] = {{L"Seed", 1},         {L"seedskipped", 2},      {L"PutBytes", 6},
                 {L"InjectFault", 20}, {L"OpenDirectories", 31}, {L"RequestCount", 32},
                 {L"PortId", 40},      {L"LogLine", 42}};
    for (const auto& entry : names) {
        DISPID id = -7;
        auto* name = const_cast<LPOLESTR>(entry.name);
        EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
        EXPECT_EQ(id, entry.id);
    }

    // PortId = 7, then read back.
    VARIANT argument;
    VariantInit(&argument);
    V_VT(&argument) = VT_I4;
    V_I4(&argument) = 7;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put = {&argument, &named, 1, 1};
    EXPECT_EQ(
        dispatch->Invoke(40, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr),
        S_OK);
    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(
        dispatch->Invoke(40, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(V_VT(&result), VT_UI4);
    EXPECT_EQ(V_UI4(&result), 7u);
}

TEST_F(EmulatedPortTest, PutsAndGetsFileContent)
{
    // Text goes in as UTF-8 and comes out as VARIANT bytes, which go back in.
    ASSERT_EQ(port_->PutText(bstr(L"/a/b/text").get(), bstr(L"x\u00e9\u20ac").get()), S_OK);
    VARIANT bytes;
    ASSERT_EQ(port_->GetBytes(bstr(L"/a/b/text").get(), &bytes), S_OK);
    ASSERT_EQ(V_VT(&bytes), VT_ARRAY | VT_VARIANT);
    Bytes content;
    auto* elements = static_cast<VARIANT*>(V_ARRAY(&bytes)->pvData);
    for (ULONG i = 0; i < V_ARRAY(&bytes)->rgsabound[0].cElements; ++i) {
        EXPECT_EQ(V_VT(&elements[i]), VT_UI1);
        content.push_back(V_UI1(&elements[i]));
    }
    EXPECT_EQ(content, (Bytes{'x', 0xC3, 0xA9, 0xE2, 0x82, 0xAC}));
    ASSERT_EQ(port_->PutBytes(bstr(L"/copy").get(), bytes), S_OK);
    Bstr text;
    ASSERT_EQ(port_->GetText(bstr(L"/copy").get(), text.put()), S_OK);
    EXPECT_EQ(text.text(), u"x\u00e9\u20ac");
    V_VT(&elements[0]) = VT_I4;
    V_I4(&elements[0]) = 256;
    EXPECT_EQ(port_->PutBytes(bstr(L"/copy").get(), bytes), E_INVALIDARG);
    VariantClear(&bytes);

    // A SAFEARRAY of bytes, here not UTF-8; text is no array of bytes.
    V_VT(&bytes) = VT_ARRAY | VT_UI1;
    V_ARRAY(&bytes) = SafeArrayCreateVector(VT_UI1, 0, 2);
    static_cast<std::uint8_t*>(V_ARRAY(&bytes)->pvData)[0] = 0xFF;
    ASSERT_EQ(port_->PutBytes(bstr(L"/binary").get(), bytes), S_OK);
    VariantClear(&bytes);
    EXPECT_EQ(port_->GetText(bstr(L"/binary").get(), text.put()),
              HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION));
    V_VT(&bytes) = VT_BSTR;
    V_BSTR(&bytes) = SysAllocString(L"text");
    EXPECT_EQ(port_->PutBytes(bstr(L"/binary").get(), bytes), E_INVALIDARG);
    VariantClear(&bytes);
}

TEST_F(EmulatedPortTest, ReportsWhatTheHandsetRefuses)
{
    ASSERT_EQ(port_->MakeDirectory(bstr(L"/dir").get()), S_OK);
    ASSERT_EQ(port_->PutText(bstr(L"/file").get(), bstr(L"").get()), S_OK);
    const struct {
        const wchar_t* path;
        DWORD deviceError;
    } cases[] = {{L"/missing", 2}, {L"/dir", 21}, {L"/file/below", 20}};
    for (const auto& c : cases) {
        Bstr text;
        EXPECT_EQ(port_->GetText(bstr(c.path).get(), text.put()), VORNAK_TOOLS_E_HANDSET) << c.path;
        const std::optional<ErrorRecord> error = takeErrorInfo();
        ASSERT_TRUE(error) << c.path;
        EXPECT_EQ(error->source, L"Vornak.EmulatedPort.1");
        EXPECT_EQ(error->helpContext, c.deviceError) << c.path;
        EXPECT_EQ(error->description.rfind(c.path, 0), 0u) << c.path;
    }
    EXPECT_EQ(port_->PutText(bstr(L"/file/below").get(), bstr(L"").get()), E_INVALIDARG);
}

// Each fault is scripted through IEmulatedPort and met by the next OPENDIR.
TEST_F(EmulatedPortTest, InjectsFaultsThatTheNextRequestMeets)
{
    const Bytes openRoot = Packet(Efs2::OpenDir).text("/");
    const std::size_t normal = 12; // header, dirp, errno
    const Bytes errorResponse = Packet(Efs2::ErrorResponse).u32(5);
    const struct {
        const wchar_t* kind;
        ULONG value;
        HRESULT result;
        std::size_t length;
    } cases[] = {
        {L"ErrorResponse", 5, S_OK, errorResponse.size()},
        {L"TruncatedResponse", 6, S_OK, 6},
        {L"OversizedResponse", 3, S_OK, normal + 3},
        {L"PortFailure", 0x80004005, E_FAIL, 0},
        {L"NoAnswer", 0, HRESULT_FROM_WIN32(ERROR_TIMEOUT), 0},
        {L"Latency", 1, S_OK, normal},
    };
    for (const auto& c : cases) {
        VARIANT command;
        V_VT(&command) = VT_BSTR;
        V_BSTR(&command) = SysAllocString(L"EFS2_DIAG_OPENDIR");
        ASSERT_EQ(port_->InjectFault(bstr(c.kind).get(), c.value, command), S_OK) << c.kind;
        VariantClear(&command);
        Bytes response;
        EXPECT_EQ(send(openRoot, response, 1), c.result) << c.kind;
        EXPECT_EQ(response.size(), c.length) << c.kind;
        if (std::wstring_view(c.kind) == L"ErrorResponse") {
            EXPECT_EQ(response, errorResponse);
        }
        EXPECT_EQ(property(&IEmulatedPort::get_PendingFaults), 0) << c.kind;
    }

    // A fault kept for READDIR lets OPENDIR through; the port counts both.
    VARIANT readDir;
    V_VT(&readDir) = VT_I4;
    V_I4(&readDir) = Efs2::ReadDir;
    ASSERT_EQ(port_->InjectFault(bstr(L"PortFailure").get(), 0x80004005, readDir), S_OK);
    Bytes response;
    EXPECT_EQ(send(openRoot, response), S_OK);
    EXPECT_EQ(property(&IEmulatedPort::get_PendingFaults), 1);
    EXPECT_EQ(port_->ClearFaults(), S_OK);
    EXPECT_EQ(property(&IEmulatedPort::get_PendingFaults), 0);
    LONG count = -1;
    ASSERT_EQ(port_->RequestCount(readDir, &count), S_OK);
    EXPECT_EQ(count, 0);
    VARIANT omitted;
    V_VT(&omitted) = VT_ERROR;
    V_ERROR(&omitted) = DISP_E_PARAMNOTFOUND;
    ASSERT_EQ(port_->RequestCount(omitted, &count), S_OK);
    EXPECT_EQ(count, static_cast<LONG>(std::size(cases)) + 1);
}

TEST_F(EmulatedPortTest, CountsWhatTheHandsetHoldsOpen)
{
    ASSERT_EQ(port_->PutText(bstr(L"/f").get(), bstr(L"data").get()), S_OK);
    const std::uint32_t directory = openDirectory("/");
    ASSERT_NE(directory, 0u);
    Bytes opened;
    ASSERT_EQ(send(Packet(Efs2::Open).u32(0).u32(0).text("/f"), opened), S_OK);
    EXPECT_EQ(property(&IEmulatedPort::get_OpenDirectories), 1);
    EXPECT_EQ(property(&IEmulatedPort::get_OpenDescriptors), 1);

    Bytes response;
    ASSERT_EQ(send(Packet(Efs2::CloseDir).u32(directory), response), S_OK);
    ASSERT_EQ(send(Packet(Efs2::Close).u32(EmulatorTest::field32(opened, 4)), response), S_OK);
    EXPECT_EQ(property(&IEmulatedPort::get_OpenDirectories), 0);
    EXPECT_EQ(property(&IEmulatedPort::get_OpenDescriptors), 0);
}

TEST_F(EmulatedPortTest, ServesItsIdentityServicesAndLog)
{
    const auto identity = query<IPortIdentity>(port_.get(), IID_IPortIdentity);
    ULONG id = 0;
    ASSERT_EQ(identity->GetPortId(&id), S_OK);
    EXPECT_EQ(id, 1u);
    ASSERT_EQ(port_->put_PortId(19), S_OK);
    ASSERT_EQ(identity->GetPortId(&id), S_OK);
    EXPECT_EQ(id, 19u);

    const auto server = query<IServerPort>(port_.get(), IID_IServerPort);
    ComPtr<IUnknown> service;
    EXPECT_EQ(server->GetService(18, 0, service.put()), S_OK);
    EXPECT_TRUE(query<IItemService>(service.get(), IID_IItemService));
    EXPECT_EQ(server->GetService(3, 0, service.put()), E_INVALIDARG);

    ComPtr<IUnknown> log;
    ASSERT_EQ(server->GetLog(log.put()), S_OK);
    ASSERT_EQ(query<ILogSink>(log.get(), IID_ILogSink)->LogMessage(bstr(L"read again").get()),
              S_OK);
    EXPECT_EQ(property(&IEmulatedPort::get_LogCount), 1);
    Bstr line;
    ASSERT_EQ(port_->LogLine(0, line.put()), S_OK);
    EXPECT_EQ(line.text(), u"read again");
    EXPECT_EQ(port_->LogLine(1, line.put()), DISP_E_BADINDEX);
}

// Every test runs in the multithreaded apartment and leaves no object or
// lock of the module behind.
class ComEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK); }
    void TearDown() override
    {
        const HMODULE module = GetModuleHandleW(L"VornakTools.dll");
        ASSERT_NE(module, nullptr);
        using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
        // GetProcAddress knows no signature; void (*)() is the neutral one.
        const auto canUnloadNow = reinterpret_cast<CanUnloadNow>(
            reinterpret_cast<void (*)()>(GetProcAddress(module, "DllCanUnloadNow")));
        ASSERT_NE(canUnloadNow, nullptr);
        EXPECT_EQ(canUnloadNow(), S_OK);
        CoUninitialize();
    }
};

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new ComEnvironment);
    return RUN_ALL_TESTS();
}
