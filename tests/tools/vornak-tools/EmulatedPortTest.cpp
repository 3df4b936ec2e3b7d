// Vornak.EmulatedPort of VornakTools.dll under Wine's COM runtime: the port
// interfaces Vornak calls, the values scripts hand it, and its faults met by
// real requests. tests/script/EmulatedPort.js drives it by name as a script.
#include "diag/Efs2.h"
#include "support/ComTest.h"
#include "vornak-tools/VornakTools.h"

#include <thread>
#include <vector>

namespace {

using ComTest::bstr;
using ComTest::query;
using Platform::Bstr;
using Platform::ComPtr;
using Bytes = std::vector<std::uint8_t>;

class EmulatedPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ComTest::clearErrorInfo();
        CLSID clsid = GUID_NULL;
        ASSERT_EQ(CLSIDFromProgID(L"Vornak.EmulatedPort", &clsid), S_OK);
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IEmulatedPort,
                                   port_.putVoid()),
                  S_OK);
    }
    // Whatever the test took, the port is gone with the last reference, and
    // with it every object and lock of the module.
    void TearDown() override
    {
        EXPECT_EQ(port_.detach()->Release(), 0u);
        EXPECT_EQ(ComTest::canUnloadNow(L"VornakTools.dll"), S_OK);
    }

    // OPENDIR of "/" through IDiagPort, waiting 1 ms; the response's length in `length`.
    HRESULT openRoot(USHORT& length)
    {
        const BYTE request[] = {75, Diag::Efs2::kFileSubsystem, Diag::Efs2::OpenDir, 0, '/', 0};
        BYTE response[64];
        length = sizeof response;
        return query<IDiagPort>(port_.get(), IID_IDiagPort)
            ->SendRequest(sizeof request, request, 1, 0, 1, &length, response);
    }
    LONG pendingFaults()
    {
        LONG value = -1;
        EXPECT_EQ(port_->get_PendingFaults(&value), S_OK);
        return value;
    }

    ComPtr<IEmulatedPort> port_;
};

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
            ASSERT_EQ(port->MakeDirectory(Bstr(u"/a").get()), S_OK);
            ComPtr<IDispatch> folder;
            ASSERT_EQ(CoCreateInstance(CLSID_TavoEFSFolder, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IDispatch, folder.putVoid()),
                      S_OK);
            // folder.Connect(port, 5000, "/", 19), as a script calls it.
            const Bstr root(u"/");
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

// Text is stored as UTF-8; bytes come as a SAFEARRAY of bytes (or of
// VARIANTs, as JScript makes them), nothing else.
TEST_F(EmulatedPortTest, TakesTextAndBytesAsScriptsHandThem)
{
    ASSERT_EQ(port_->PutText(Bstr(u"/a/text").get(), Bstr(u"x\u00e9\u20ac").get()), S_OK);
    VARIANT bytes;
    ASSERT_EQ(port_->GetBytes(Bstr(u"/a/text").get(), &bytes), S_OK);
    ASSERT_EQ(V_VT(&bytes), VT_ARRAY | VT_VARIANT);
    Bytes content;
    const auto* elements = static_cast<const VARIANT*>(V_ARRAY(&bytes)->pvData);
    for (ULONG i = 0; i < V_ARRAY(&bytes)->rgsabound[0].cElements; ++i) {
        EXPECT_EQ(V_VT(&elements[i]), VT_UI1);
        content.push_back(V_UI1(&elements[i]));
    }
    EXPECT_EQ(content, (Bytes{'x', 0xC3, 0xA9, 0xE2, 0x82, 0xAC}));
    VariantClear(&bytes);

    V_VT(&bytes) = VT_ARRAY | VT_UI1;
    V_ARRAY(&bytes) = SafeArrayCreateVector(VT_UI1, 0, 2);
    static_cast<std::uint8_t*>(V_ARRAY(&bytes)->pvData)[0] = 0xFF; // no UTF-8
    ASSERT_EQ(port_->PutBytes(Bstr(u"/binary").get(), bytes), S_OK);
    VariantClear(&bytes);
    Bstr text;
    EXPECT_EQ(port_->GetText(Bstr(u"/binary").get(), text.put()),
              HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION));
    V_VT(&bytes) = VT_BSTR;
    V_BSTR(&bytes) = SysAllocString(L"text");
    EXPECT_EQ(port_->PutBytes(Bstr(u"/binary").get(), bytes), E_INVALIDARG);
    VariantClear(&bytes);
}

TEST_F(EmulatedPortTest, ReportsWhatTheHandsetRefuses)
{
    ASSERT_EQ(port_->MakeDirectory(Bstr(u"/dir").get()), S_OK);
    ASSERT_EQ(port_->PutText(Bstr(u"/file").get(), Bstr(u"").get()), S_OK);
    const struct {
        const wchar_t* path;
        DWORD deviceError;
    } cases[] = {{L"/missing", 2}, {L"/dir", 21}, {L"/file/below", 20}};
    for (const auto& c : cases) {
        Bstr text;
        EXPECT_EQ(port_->GetText(bstr(c.path).get(), text.put()), VORNAK_TOOLS_E_HANDSET);
        const ComTest::ErrorRecord error = ComTest::takeErrorInfo();
        EXPECT_EQ(error.source, L"Vornak.EmulatedPort.1");
        EXPECT_EQ(error.helpContext, c.deviceError) << error.description;
        EXPECT_EQ(error.description.rfind(c.path, 0), 0u) << error.description;
    }
    EXPECT_EQ(query<ISupportErrorInfo>(port_.get(), IID_ISupportErrorInfo)
                  ->InterfaceSupportsErrorInfo(IID_IEmulatedPort),
              S_OK);
}

// Each fault is scripted by name and met by the next OPENDIR.
TEST_F(EmulatedPortTest, InjectsFaultsThatTheNextRequestMeets)
{
    const struct {
        const wchar_t* kind;
        ULONG value;
        HRESULT result;
        std::size_t length;
    } cases[] = {
        {L"ErrorResponse", 5, S_OK, Diag::Efs2::kErrorResponseSize},
        {L"TruncatedResponse", 6, S_OK, 6},
        {L"OversizedResponse", 3, S_OK, 12 + 3},
        {L"PortFailure", 0x80004005, E_FAIL, 0},
        {L"NoAnswer", 0, HRESULT_FROM_WIN32(ERROR_TIMEOUT), 0},
        {L"Latency", 1, S_OK, 12},
    };
    for (const auto& c : cases) {
        VARIANT command;
        V_VT(&command) = VT_BSTR;
        V_BSTR(&command) = SysAllocString(L"EFS2_DIAG_OPENDIR");
        ASSERT_EQ(port_->InjectFault(bstr(c.kind).get(), c.value, command), S_OK);
        VariantClear(&command);
        USHORT length = 0;
        EXPECT_EQ(openRoot(length), c.result) << c.kind;
        EXPECT_EQ(length, c.length) << c.kind;
        EXPECT_EQ(pendingFaults(), 0) << c.kind;
    }
}

// What Vornak's item files and read retries find on a port.
TEST_F(EmulatedPortTest, ServesItsIdentityServicesAndLog)
{
    const auto identity = query<IPortIdentity>(port_.get(), IID_IPortIdentity);
    ULONG id = 0;
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
    ASSERT_EQ(query<ILogSink>(log.get(), IID_ILogSink)->LogMessage(Bstr(u"read again").get()),
              S_OK);
    Bstr line;
    ASSERT_EQ(port_->LogLine(0, line.put()), S_OK);
    EXPECT_EQ(line.text(), u"read again");
}

} // namespace
