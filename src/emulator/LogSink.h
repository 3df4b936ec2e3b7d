// The log of an emulated port as a COM object: ILogSink over a LogBook.
#pragma once

#include "comserver/ComObject.h"
#include "diag/PortInterfaces.h"
#include "diag/ReservedSlots.h"
#include "emulator/LogBook.h"
#include "platform/ComPtr.h"

#include <memory>
#include <span>

namespace Emulator {

class LogSink final : public ComServer::ComObject<LogSink, ILogSink> {
public:
    static Platform::ComPtr<ILogSink> create(std::shared_ptr<LogBook> book);

    static std::span<const ComServer::InterfaceEntry<LogSink>> interfaceTable();

    // The slots Vornak never calls.
    VORNAK_RESERVED_SLOTS_1_TO_20

    // Keeps `text` (a null BSTR is the empty line).
    HRESULT STDMETHODCALLTYPE LogMessage(BSTR text) override;

private:
    friend ComObject;
    explicit LogSink(std::shared_ptr<LogBook> book);
    std::shared_ptr<LogBook> book_;
};

} // namespace Emulator
