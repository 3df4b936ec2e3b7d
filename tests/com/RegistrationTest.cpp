// What registration leaves in the registry, read back key by key, and what
// unregistration removes. The test fixture has registered the module with
// regsvr32 before this program runs; the program leaves it registered.
#include "com/ComTest.h"

#include <optional>
#include <string>

namespace {

struct ClassKeys {
    const CLSID* clsid;
    const wchar_t* progId;
    const wchar_t* independentProgId;
    const wchar_t* displayName;
};

const ClassKeys kClasses[] = {
    {&CLSID_TavoEFSFile, L"Vornak.TavoEFSFile.1", L"Vornak.TavoEFSFile", L"TavoEFSFile Class"},
    {&CLSID_TavoEFSFolder, L"Vornak.TavoEFSFolder.1", L"Vornak.TavoEFSFolder",
     L"TavoEFSFolder Class"},
    {&CLSID_TavoEFSEnum, L"Vornak.TavoEFSEnum.1", L"Vornak.TavoEFSEnum", L"TavoEFSEnum Class"},
    {&CLSID_TavoWinFolder, L"Vornak.TavoWinFolder.1", L"Vornak.TavoWinFolder",
     L"TavoWinFolder Class"},
};

std::wstring text(REFGUID guid)
{
    wchar_t buffer[39] = {};
    StringFromGUID2(guid, buffer, 39);
    return buffer;
}

bool exists(const std::wstring& key)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(handle);
    return true;
}

// A string value under HKEY_CLASSES_ROOT; nothing when key or value is missing.
std::optional<std::wstring> value(const std::wstring& key, const wchar_t* name = nullptr)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    wchar_t buffer[1024] = {};
    DWORD type = 0;
    DWORD size = sizeof buffer - sizeof(wchar_t);
    const LSTATUS status =
        RegQueryValueExW(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(handle);
    return status == ERROR_SUCCESS && type == REG_SZ ? std::optional(std::wstring(buffer))
                                                     : std::nullopt;
}

using EntryPoint = HRESULT(STDAPICALLTYPE*)();

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ComTest::createRunning(CLSID_TavoEFSEnum)); // loads the module
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(GetModuleHandleW(L"Vornak.dll"), path, MAX_PATH);
        modulePath_ = path;
        register_ = ComTest::moduleExport<EntryPoint>("DllRegisterServer");
        unregister_ = ComTest::moduleExport<EntryPoint>("DllUnregisterServer");
        ASSERT_TRUE(register_ && unregister_);
    }
    void TearDown() override { EXPECT_EQ(register_(), S_OK); }

    void expectRegistered()
    {
        const std::wstring library = text(LIBID_VORNAKLib);
        for (const ClassKeys& c : kClasses) {
            SCOPED_TRACE(::testing::Message() << c.progId);
            const std::wstring clsid = text(*c.clsid);
            const std::wstring key = L"CLSID\\" + clsid;
            EXPECT_EQ(value(c.progId), c.displayName);
            EXPECT_EQ(value(std::wstring(c.progId) + L"\\CLSID"), clsid);
            EXPECT_EQ(value(c.independentProgId), c.displayName);
            EXPECT_EQ(value(std::wstring(c.independentProgId) + L"\\CLSID"), clsid);
            EXPECT_EQ(value(std::wstring(c.independentProgId) + L"\\CurVer"), c.progId);
            EXPECT_EQ(value(key), c.displayName);
            EXPECT_EQ(value(key + L"\\ProgID"), c.progId);
            EXPECT_EQ(value(key + L"\\VersionIndependentProgID"), c.independentProgId);
            EXPECT_TRUE(exists(key + L"\\Programmable"));
            EXPECT_EQ(_wcsicmp(value(key + L"\\InprocServer32").value_or(L"").c_str(),
                               modulePath_.c_str()),
                      0);
            EXPECT_EQ(value(key + L"\\InprocServer32", L"ThreadingModel"), L"Free");
            EXPECT_EQ(value(key + L"\\TypeLib"), library);
        }
        EXPECT_EQ(value(L"TypeLib\\" + library + L"\\1.0"), L"Vornak 1.0 Type Library");
        EXPECT_TRUE(exists(L"Interface\\" + text(IID_ITavoEFSFolder)));
    }

    std::wstring modulePath_;
    EntryPoint register_ = nullptr;
    EntryPoint unregister_ = nullptr;
};

TEST_F(RegistrationTest, RegistrationWritesEveryKeyOfEveryClass)
{
    expectRegistered();
}

TEST_F(RegistrationTest, UnregistrationRemovesTheKeysButNotClsid)
{
    ASSERT_EQ(unregister_(), S_OK);
    for (const ClassKeys& c : kClasses) {
        EXPECT_FALSE(exists(c.progId));
        EXPECT_FALSE(exists(c.independentProgId));
        EXPECT_FALSE(exists(L"CLSID\\" + text(*c.clsid)));
    }
    EXPECT_FALSE(exists(L"TypeLib\\" + text(LIBID_VORNAKLib)));
    EXPECT_TRUE(exists(L"CLSID"));
    EXPECT_EQ(unregister_(), S_OK) << "unregistering twice is no failure";

    ASSERT_EQ(register_(), S_OK);
    expectRegistered();
}

TEST_F(RegistrationTest, RegistrationRewritesTheClassKeyWhole)
{
    const std::wstring key = L"CLSID\\" + text(CLSID_TavoEFSFolder);
    ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, (key + L"\\LocalServer32").c_str(), nullptr,
                              REG_SZ, L"x.exe", sizeof L"x.exe"),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, (key + L"\\InprocServer32").c_str(),
                              L"ThreadingModel", REG_SZ, L"Apartment", sizeof L"Apartment"),
              ERROR_SUCCESS);
    ASSERT_EQ(register_(), S_OK);
    EXPECT_FALSE(exists(key + L"\\LocalServer32"));
    expectRegistered();
}

} // namespace
