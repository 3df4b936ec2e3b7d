#include "Registration.h"

#include "diag/PortInterfaces.h"

#include <utility>
#include <vector>

namespace PortServerProgram {

namespace {

constexpr const wchar_t* kClassName = L"Vornak Port Server";
constexpr const wchar_t* kProgramName = L"VornakPortServer.exe";

std::wstring guidText(REFGUID guid)
{
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

class Key {
public:
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key()
    {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }
    HKEY* put() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

// Creates HKEY_CLASSES_ROOT\<path> and sets one string value (the default
// value when `name` is null).
LSTATUS setString(const std::wstring& path, const wchar_t* name, const std::wstring& value)
{
    Key key;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE,
                                     nullptr, key.put(), nullptr);
    if (status == ERROR_SUCCESS) {
        const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
        status = RegSetValueExW(key.get(), name, 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(value.c_str()), bytes);
    }
    return status;
}

std::wstring programPath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return std::wstring();
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

} // namespace

HRESULT registerServer(const std::wstring& options)
{
    const std::wstring program = programPath();
    if (program.empty()) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!options.empty()) {
        commandLine += L" " + options;
    }
    const std::wstring clsid = guidText(CLSID_PortServer);
    const std::wstring classKey = L"CLSID\\" + clsid;
    const std::vector<std::pair<std::wstring, std::pair<const wchar_t*, std::wstring>>> values = {
        {classKey, {nullptr, kClassName}},
        {classKey, {L"AppID", clsid}},
        {classKey + L"\\LocalServer32", {nullptr, commandLine}},
        {L"AppID\\" + clsid, {nullptr, kClassName}},
        {std::wstring(L"AppID\\") + kProgramName, {L"AppID", clsid}},
    };
    for (const auto& [path, value] : values) {
        const LSTATUS status = setString(path, value.first, value.second);
        if (status != ERROR_SUCCESS) {
            unregisterServer();
            return HRESULT_FROM_WIN32(status);
        }
    }
    return S_OK;
}

HRESULT unregisterServer()
{
    const std::wstring clsid = guidText(CLSID_PortServer);
    HRESULT result = S_OK;
    for (const std::wstring& path :
         {L"CLSID\\" + clsid, L"AppID\\" + clsid, std::wstring(L"AppID\\") + kProgramName}) {
        const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && SUCCEEDED(result)) {
            result = HRESULT_FROM_WIN32(status);
        }
    }
    return result;
}

} // namespace PortServerProgram
