// Lines for the log of the client's diagnostic port.
#pragma once

#include "platform/Com.h"

#include <string_view>

namespace Efs {

// Writes `text` to the port's log: through IServerPort::GetLog when the port
// object offers it, else to its own ILogSink. Returns the first failure
// (E_POINTER when there is no log, E_UNEXPECTED when one of the port's calls
// throws); never throws.
HRESULT writePortLogNoThrow(IUnknown* port, std::u16string_view text) noexcept;

} // namespace Efs
