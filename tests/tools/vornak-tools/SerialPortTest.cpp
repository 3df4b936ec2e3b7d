// Vornak.SerialPort under Wine: what it refuses and why, and Vornak.dll on a
// handset at the far end of a COM port. The handset is the emulator served on
// a pseudo-terminal by the native vornak-efs, which the test fixture links as
// a COM port of the prefix and names in VORNAK_TEST_HANDSET_PORT.
#include "support/ComTest.h"
#include "vornak-tools/VornakTools.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using ComTest::bstr;
using ComTest::query;
using Platform::Bstr;
using Platform::ComPtr;

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ComTest::clearErrorInfo();
        CLSID clsid = GUID_NULL;
        ASSERT_EQ(CLSIDFromProgID(L"Vornak.SerialPort", &clsid), S_OK);
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ISerialPort,
                                   port_.putVoid()),
                  S_OK);
    }
    void TearDown() override { EXPECT_EQ(port_.detach()->Release(), 0u); }

    bool isOpen()
    {
        VARIANT_BOOL open = VARIANT_TRUE;
        EXPECT_EQ(port_->get_IsOpen(&open), S_OK);
        return open != VARIANT_FALSE;
    }

    ComPtr<ISerialPort> port_;
};

// Closed, or not to be opened, it says why in its error information.
TEST_F(SerialPortTest, SaysWhyItCannotCarryARequest)
{
    const BYTE request[] = {75, 19, 11, 0, '/', 0}; // OPENDIR of "/"
    BYTE response[64] = {};
    USHORT length = sizeof response;
    EXPECT_EQ(query<IDiagPort>(port_.get(), IID_IDiagPort)
                  ->SendRequest(sizeof request, request, 1, 0, 1000, &length, response),
              HRESULT_FROM_WIN32(ERROR_NOT_READY));
    ComTest::ErrorRecord error = ComTest::takeErrorInfo();
    EXPECT_TRUE(IsEqualGUID(error.guid, IID_IDiagPort));
    EXPECT_EQ(error.source, L"Vornak.SerialPort.1");
    EXPECT_EQ(error.description, L"the serial port is not open: call Open first");

    const struct {
        const wchar_t* port;
        HRESULT result;
        const wchar_t* description; // its beginning
    } cases[] = {
        {L"serial:COM43:115200", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
         L"there is no serial port COM43: "},
        {L"serial:", E_INVALIDARG, L"Open needs a serial port"},
        {L"COM3:fast", E_INVALIDARG, L"'fast' is not a baud rate"},
        {L"COM\u00e9", E_INVALIDARG, L"a serial port is named in plain letters"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(port_->Open(bstr(c.port).get()), c.result) << c.port;
        error = ComTest::takeErrorInfo();
        EXPECT_TRUE(IsEqualGUID(error.guid, IID_ISerialPort)) << c.port;
        EXPECT_EQ(error.description.rfind(c.description, 0), 0u) << error.description;
        EXPECT_FALSE(isOpen()) << c.port;
    }
}

// The folder's recursive listing and a file read, packet by packet, over the
// line; then the line closed and opened again.
TEST_F(SerialPortTest, CarriesVornakToTheHandsetOnTheLine)
{
    const char* named = std::getenv("VORNAK_TEST_HANDSET_PORT");
    if (named == nullptr) {
        GTEST_SKIP() << "no handset on a COM port: VORNAK_TEST_HANDSET_PORT is not set";
    }
    const std::wstring device(named, named + std::char_traits<char>::length(named));
    const Bstr portName = bstr((L"serial:" + device + L":115200").c_str());
    ASSERT_EQ(port_->Open(portName.get()), S_OK);
    ASSERT_EQ(port_->Open(portName.get()), S_OK); // the port goes first, so it can be opened again
    EXPECT_TRUE(isOpen());

    const auto folder = ComTest::create<ITavoEFSFolder>(CLSID_TavoEFSFolder, IID_ITavoEFSFolder);
    ASSERT_TRUE(folder);
    ASSERT_EQ(folder->Connect(port_.get(), 5000, bstr(L"/").get(), 19), S_OK);
    ComPtr<IUnknown> listing;
    ASSERT_EQ(folder->RecursiveDirList(listing.put()), S_OK);
    std::vector<std::wstring> names;
    const auto entries = query<IEnumSTATSTG>(listing.get(), IID_IEnumSTATSTG);
    STATSTG record = {};
    while (entries->Next(1, &record, nullptr) == S_OK) {
        names.emplace_back(record.pwcsName);
        CoTaskMemFree(record.pwcsName);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"/data", L"/data/log.txt", L"/nvm", L"/nvm/num",
                                                L"/nvm/num/mdn", L"/readme.txt"}));

    // 1620 bytes: four READ packets.
    std::string expected;
    for (int line = 1; line <= 60; ++line) {
        char text[40];
        std::snprintf(text, sizeof text, "line %02d of the handset log\n", line);
        expected += text;
    }
    ComPtr<IStream> stream;
    const auto storage = query<IStorage>(folder.get(), IID_IStorage);
    ASSERT_EQ(storage->OpenStream(L"data/log.txt", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0,
                                  stream.put()),
              S_OK);
    std::string content(2048, '\0');
    ULONG read = 0;
    ASSERT_EQ(stream->Read(content.data(), static_cast<ULONG>(content.size()), &read), S_OK);
    content.resize(read);
    EXPECT_EQ(content, expected);
    stream.reset(); // its CLOSE goes over the line too

    double received = 0, badFrames = -1;
    EXPECT_EQ(port_->get_BytesReceived(&received), S_OK);
    EXPECT_EQ(port_->get_BadFrames(&badFrames), S_OK);
    EXPECT_GT(received, static_cast<double>(expected.size()));
    EXPECT_EQ(badFrames, 0.0);

    // Closed, the folder's requests fail in the port (code 533) until it is
    // opened again.
    ASSERT_EQ(port_->Close(), S_OK);
    EXPECT_FALSE(isOpen());
    ComPtr<IEnumSTATSTG> elements;
    EXPECT_EQ(storage->EnumElements(0, nullptr, 0, elements.put()), VORNAK_TOOLS_E_HANDSET);
    EXPECT_EQ(ComTest::takeErrorInfo().helpContext, 533u);
    ASSERT_EQ(port_->Open(portName.get()), S_OK);
    EXPECT_EQ(storage->EnumElements(0, nullptr, 0, elements.put()), S_OK);
}

} // namespace
