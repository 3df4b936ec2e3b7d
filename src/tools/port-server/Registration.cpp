#include "Registration.h"

#include "comserver/Registry.h"
#include "diag/PortInterfaces.h"

#include <utility>
#include <vector>

namespace PortServerProgram {

namespace {

constexpr const wchar_t* kClassName = L"Vornak Port Server";
constexpr const wchar_t* kProgramName = L"VornakPortServer.exe";

using ComServer::Registry::guidText;

} // namespace

HRESULT registerServer(const std::wstring& options)
{
    const std::wstring program = ComServer::Registry::modulePath(nullptr);
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
        const HRESULT hr = ComServer::Registry::writeKey(path, value.first, &value.second);
        if (FAILED(hr)) {
            unregisterServer();
            return hr;
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
        const HRESULT hr = ComServer::Registry::removeTree(path);
        if (FAILED(hr) && SUCCEEDED(result)) {
            result = hr;
        }
    }
    return result;
}

} // namespace PortServerProgram
