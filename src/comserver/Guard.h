// The one guard of every COM method that can fail inside the project: the
// method's body runs in it, and whatever the body throws becomes an HRESULT
// with error information for the calling thread, sorted in a fixed order:
//
//   1. the module's own exception types, through the boundary's hook
//      (Vornak's handset exception, the tools' own failures);
//   2. _com_error: its own HRESULT, with the description and help context of
//      the error information it carries (a success passes through unrecorded);
//   3. std::bad_alloc: the boundary's out-of-memory HRESULT;
//   4. anything else: the boundary's HRESULT for other failures.
//
// Steps 3 and 4 record an empty description and help context 0.
#pragma once

#include "platform/Com.h"

#include <optional>

namespace ComServer {

// Where a class reports the failures of its guarded methods, and how.
struct Boundary {
    const CLSID* clsid; // its ProgID is the source of the error information
    const IID* iid;     // the interface the error information names
    HRESULT otherFailure;
    HRESULT outOfMemory;
    // The module's own exception types: called while an exception is being
    // handled, it rethrows it, reports the types it knows and answers
    // nothing for any other. Null when the module has none.
    std::optional<HRESULT> (*ownExceptions)(const Boundary& boundary) noexcept = nullptr;
};

// Reports the exception being handled, in the order above. Call it only from
// a catch block.
HRESULT reportCurrentException(const Boundary& boundary) noexcept;

// Runs `body`, a callable returning an HRESULT, and returns its result, or
// what reportCurrentException makes of what it throws.
template <class Body>
HRESULT guard(const Boundary& boundary, Body&& body) noexcept
{
    try {
        return body();
    } catch (...) {
        return reportCurrentException(boundary);
    }
}

} // namespace ComServer
