// How the methods of the module's classes fail: their bodies throw Failure
// (or _com_error for a call into another object that failed), and a guard
// turns what they throw into an HRESULT with error information.
#pragma once

#include "platform/Com.h"
#include "vornak/ErrorInfo.h"

#include <new>
#include <string>

namespace VornakTools {

// Thrown by the methods' bodies; their guard reports it as error information.
struct Failure {
    HRESULT hr;
    std::wstring description;
    DWORD helpContext = 0;
};

// Calls another object and throws the failure of the call as a _com_error
// that carries the error information the object left on this thread. The
// thread's information is cleared first, so none of it is stale.
template <class Call>
void callPassingErrors(Call&& call)
{
    SetErrorInfo(0, nullptr);
    const HRESULT hr = call();
    if (FAILED(hr)) {
        IErrorInfo* info = nullptr;
        if (GetErrorInfo(0, &info) != S_OK) {
            info = nullptr;
        }
        // _com_error takes over the reference.
        throw _com_error(hr, info, false);
    }
}

// Runs a method's body, a callable returning an HRESULT. A Failure is
// recorded for `clsid` and `iid`; a _com_error is returned with its own error
// information, untouched, so that the caller reads what the failing object
// said; anything else is E_OUTOFMEMORY or E_UNEXPECTED.
template <class Body>
HRESULT guard(REFCLSID clsid, REFIID iid, Body&& body) noexcept
{
    try {
        return body();
    } catch (const Failure& failure) {
        return Vornak::reportError(clsid, failure.description.c_str(), failure.helpContext, iid,
                                   failure.hr);
    } catch (const _com_error& error) {
        IErrorInfo* info = error.ErrorInfo(); // a new reference, or null
        SetErrorInfo(0, info);
        if (info != nullptr) {
            info->Release();
        }
        return error.Error();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return Vornak::reportError(clsid, L"", 0, iid, E_UNEXPECTED);
    }
}

} // namespace VornakTools
