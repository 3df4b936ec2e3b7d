// What registration leaves in the registry, read back key by key, and what
// unregistration removes. regsvr32 has registered the module before this
// program runs; the program leaves it registered.
#include "support/ComTest.h"

#include <optional>
#include <string>

namespace {

// Each class by its name: ProgIDs "Vornak.<name>.1" and "Vornak.<name>",
// display name "<name> Class".
const struct {
    const CLSID* clsid;
    std::wstring name;
} kClasses[] = {
    {&CLSID_TavoEFSFile, L"TavoEFSFile"},
    {&CLSID_TavoEFSFolder, L"TavoEFSFolder"},
    {&CLSID_TavoEFSEnum, L"TavoEFSEnum"},
    {&CLSID_TavoWinFolder, L"TavoWinFolder"},
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
    const bool found = RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) == 0;
    RegCloseKey(handle);
    return found;
}

// A string value under HKEY_CLASSES_ROOT; nothing when key or value is missing.
std::optional<std::wstring> value(const std::wstring& key, const wchar_t* name = nullptr)
{
    wchar_t buffer[1024] = {};
    DWORD size = sizeof buffer;
    return RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer,
                        &size) == ERROR_SUCCESS
               ? std::optional(std::wstring(buffer))
               : std::nullopt;
}

void expectRegistered(const std::wstring& modulePath)
{
    const std::wstring library = text(LIBID_VORNAKLib);
    for (const auto& c : kClasses) {
        SCOPED_TRACE(::testing::Message() << c.name);
        const std::wstring independent = L"Vornak." + c.name;
        const std::wstring progId = independent + L".1";
        const std::wstring display = c.name + L" Class";
        const std::wstring clsid = text(*c.clsid);
        const std::wstring key = L"CLSID\\" + clsid;
        EXPECT_EQ(value(progId), display);
        EXPECT_EQ(value(progId + L"\\CLSID"), clsid);
        EXPECT_EQ(value(independent), display);
        EXPECT_EQ(value(independent + L"\\CLSID"), clsid);
        EXPECT_EQ(value(independent + L"\\CurVer"), progId);
        EXPECT_EQ(value(key), display);
        EXPECT_EQ(value(key + L"\\ProgID"), progId);
        EXPECT_EQ(value(key + L"\\VersionIndependentProgID"), independent);
        EXPECT_TRUE(exists(key + L"\\Programmable"));
        EXPECT_EQ(
            _wcsicmp(value(key + L"\\InprocServer32").value_or(L"").c_str(), modulePath.c_str()),
            0);
        EXPECT_EQ(value(key + L"\\InprocServer32", L"ThreadingModel"), L"Free");
        EXPECT_EQ(value(key + L"\\TypeLib"), library);
    }
    EXPECT_EQ(value(L"TypeLib\\" + library + L"\\1.0"), L"Vornak 1.0 Type Library");
    EXPECT_TRUE(exists(L"Interface\\" + text(IID_ITavoEFSFolder)));
}

TEST(Registration, UnregistrationRemovesTheKeysButNotClsidAndRegistrationWritesThemAgain)
{
    ASSERT_TRUE(ComTest::createRunning(CLSID_TavoEFSEnum)); // loads the module
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(GetModuleHandleW(L"Vornak.dll"), path, MAX_PATH);
    using EntryPoint = HRESULT(STDAPICALLTYPE*)();
    const auto registerServer = ComTest::moduleExport<EntryPoint>("DllRegisterServer");
    const auto unregisterServer = ComTest::moduleExport<EntryPoint>("DllUnregisterServer");
    ASSERT_TRUE(registerServer && unregisterServer);
    expectRegistered(path);

    ASSERT_EQ(unregisterServer(), S_OK);
    for (const auto& c : kClasses) {
        EXPECT_FALSE(exists(L"Vornak." + c.name + L".1"));
        EXPECT_FALSE(exists(L"Vornak." + c.name));
        EXPECT_FALSE(exists(L"CLSID\\" + text(*c.clsid)));
    }
    EXPECT_FALSE(exists(L"TypeLib\\" + text(LIBID_VORNAKLib)));
    EXPECT_TRUE(exists(L"CLSID"));
    EXPECT_EQ(unregisterServer(), S_OK) << "unregistering twice is no failure";

    ASSERT_EQ(registerServer(), S_OK); // also what later tests need
    expectRegistered(path);
}

} // namespace
