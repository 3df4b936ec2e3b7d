// Where Vornak's classes meet their clients when a method fails: the handset's
// exception is the module's own type in the one guard (comserver/Guard.h), and
// every other exception, an allocation failure included, is the class's own
// "other failure" (VORNAK_E_UNEXPECTED, or E_FAIL in the file stream).
#pragma once

#include "comserver/Guard.h"
#include "platform/Com.h"

#include <optional>

namespace Vornak {

// The hook of Vornak's boundaries: a CEFSException becomes VORNAK_E_HANDSET
// with its message as description and its code as help context. No room for
// the description's text is E_OUTOFMEMORY, recorded nowhere.
std::optional<HRESULT> reportHandsetException(const ComServer::Boundary& boundary) noexcept;

// The boundary of a method of `clsid` that records its failures for `iid`.
constexpr ComServer::Boundary boundary(const CLSID& clsid, const IID& iid, HRESULT otherFailure)
{
    return {&clsid, &iid, otherFailure, otherFailure, &reportHandsetException};
}

} // namespace Vornak
