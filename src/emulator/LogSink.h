// The log of an emulated port as a COM object: ILogSink over a LogBook.
#pragma once

#include "diag/PortInterfaces.h"
#include "diag/ReservedSlots.h"
#include "emulator/LogBook.h"
#include "platform/ComBase.h"
#include "platform/ComPtr.h"

#include <memory>

namespace Emulator {

class LogSink final : public Platform::ComBase<LogSink, ILogSink> {
public:
    static Platform::ComPtr<ILogSink> create(std::shared_ptr<LogBook> book);

    void* interfaceFor(REFIID iid);

    // The slots Vornak never calls.
    VORNAK_RESERVED_SLOT(1)
    VORNAK_RESERVED_SLOT(2)
    VORNAK_RESERVED_SLOT(3)
    VORNAK_RESERVED_SLOT(4)
    VORNAK_RESERVED_SLOT(5)
    VORNAK_RESERVED_SLOT(6)
    VORNAK_RESERVED_SLOT(7)
    VORNAK_RESERVED_SLOT(8)
    VORNAK_RESERVED_SLOT(9)
    VORNAK_RESERVED_SLOT(10)
    VORNAK_RESERVED_SLOT(11)
    VORNAK_RESERVED_SLOT(12)
    VORNAK_RESERVED_SLOT(13)
    VORNAK_RESERVED_SLOT(14)
    VORNAK_RESERVED_SLOT(15)
    VORNAK_RESERVED_SLOT(16)
    VORNAK_RESERVED_SLOT(17)
    VORNAK_RESERVED_SLOT(18)
    VORNAK_RESERVED_SLOT(19)
    VORNAK_RESERVED_SLOT(20)

    // Keeps `text` (a null BSTR is the empty line).
    HRESULT STDMETHODCALLTYPE LogMessage(BSTR text) override;

private:
    explicit LogSink(std::shared_ptr<LogBook> book);
    std::shared_ptr<LogBook> book_;
};

} // namespace Emulator
