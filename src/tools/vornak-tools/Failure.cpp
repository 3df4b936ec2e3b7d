#include "tools/vornak-tools/Failure.h"

#include "comserver/ErrorInfo.h"

namespace VornakTools {

std::optional<HRESULT> reportToolFailure(const ComServer::Boundary& boundary) noexcept
{
    try {
        throw;
    } catch (const Failure& failure) {
        return ComServer::reportError(*boundary.clsid, failure.description.c_str(),
                                      failure.helpContext, *boundary.iid, failure.hr);
    } catch (const PassedOn& failure) {
        SetErrorInfo(0, failure.info.get());
        return failure.hr;
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace VornakTools
