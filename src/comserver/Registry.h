// The registry work of the project's servers, under HKEY_CLASSES_ROOT: what
// the modules' registration and the port server's /RegServer both write.
#pragma once

#include <windows.h>

#include <string>

namespace ComServer::Registry {

// Creates HKEY_CLASSES_ROOT\<path> and, when `value` is given, sets its
// string value `name` (null: the default value).
HRESULT writeKey(const std::wstring& path, const wchar_t* name, const std::wstring* value);
HRESULT writeKey(const std::wstring& path, const std::wstring& value);

// Removes HKEY_CLASSES_ROOT\<path> with everything below it; a key that is
// not there is no failure.
HRESULT removeTree(const std::wstring& path);

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"
std::wstring guidText(REFGUID guid);

// The full path of a module's file (null: the program's); empty on failure.
std::wstring modulePath(HMODULE module);

} // namespace ComServer::Registry
