#include "comserver/Registry.h"

#include "platform/UniqueAny.h"

#include <objbase.h>

namespace ComServer::Registry {

namespace {

using Key = Platform::UniqueNull<HKEY, &RegCloseKey>;

HRESULT fromStatus(LSTATUS status)
{
    return HRESULT_FROM_WIN32(static_cast<unsigned long>(status));
}

} // namespace

HRESULT writeKey(const std::wstring& path, const wchar_t* name, const std::wstring* value)
{
    Key key;
    LSTATUS status =
        RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, key.put(), nullptr);
    if (status == ERROR_SUCCESS && value != nullptr) {
        const auto bytes = static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t));
        status = RegSetValueExW(key.get(), name, 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(value->c_str()), bytes);
    }
    return fromStatus(status);
}

HRESULT writeKey(const std::wstring& path, const std::wstring& value)
{
    return writeKey(path, nullptr, &value);
}

HRESULT removeTree(const std::wstring& path)
{
    const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
    return status == ERROR_FILE_NOT_FOUND ? S_OK : fromStatus(status);
}

std::wstring guidText(REFGUID guid)
{
    wchar_t text[39] = {};
    StringFromGUID2(guid, text, 39);
    return text;
}

std::wstring modulePath(HMODULE module)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
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

} // namespace ComServer::Registry
