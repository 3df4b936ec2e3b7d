// The registry keys of the port server program: the class of the port
// server with its LocalServer32 command line, and the program's AppID.
#pragma once

#include "platform/Com.h"

#include <string>

namespace PortServerProgram {

// Registers this program as the local server of CLSID_PortServer. COM starts
// it with `options` after its path (and -Embedding after them).
HRESULT registerServer(const std::wstring& options);

// Removes every key registerServer writes; keys already gone are no failure.
HRESULT unregisterServer();

} // namespace PortServerProgram
