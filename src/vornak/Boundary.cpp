#include "vornak/Boundary.h"

#include "comserver/ErrorInfo.h"
#include "diag/CEFSException.h"
#include "platform/Bstr.h"
#include "vornak/Vornak.h"

#include <new>
#include <string>

// <windows.h> makes GetMessage a macro for the window-message call; here it
// is only ever CEFSException's.
#undef GetMessage

namespace Vornak {

namespace {

HRESULT reportHandset(const ComServer::Boundary& boundary, const CEFSException& exception) noexcept
{
    std::string message;
    try {
        message = exception.GetMessage();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        // Text that has no 8-bit form (a lone surrogate) goes out as it is.
        return ComServer::reportError(*boundary.clsid,
                                      Platform::asOleText(exception.GetWideMessage().c_str()),
                                      exception.GetCode(), *boundary.iid, VORNAK_E_HANDSET);
    }
    return ComServer::reportError(*boundary.clsid, message, exception.GetCode(), *boundary.iid,
                                  VORNAK_E_HANDSET);
}

} // namespace

std::optional<HRESULT> reportHandsetException(const ComServer::Boundary& boundary) noexcept
{
    try {
        throw;
    } catch (const CEFSException& exception) {
        return reportHandset(boundary, exception);
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace Vornak
