#include "comserver/Guard.h"

#include "comserver/ErrorInfo.h"

#include <new>

namespace ComServer {

namespace {

HRESULT reportComError(const Boundary& boundary, const _com_error& error) noexcept
{
    const HRESULT hr = error.Error();
    if (SUCCEEDED(hr)) {
        return hr;
    }
    const ComErrorDetails details = comErrorDetails(error);
    return reportError(*boundary.clsid, details.description.get(), details.helpContext,
                       *boundary.iid, hr);
}

} // namespace

HRESULT reportCurrentException(const Boundary& boundary) noexcept
{
    if (boundary.ownExceptions != nullptr) {
        if (const std::optional<HRESULT> hr = boundary.ownExceptions(boundary)) {
            return *hr;
        }
    }
    try {
        throw;
    } catch (const _com_error& error) {
        return reportComError(boundary, error);
    } catch (const std::bad_alloc&) {
        return reportError(*boundary.clsid, nullptr, 0, *boundary.iid, boundary.outOfMemory);
    } catch (...) {
        return reportError(*boundary.clsid, nullptr, 0, *boundary.iid, boundary.otherFailure);
    }
}

} // namespace ComServer
