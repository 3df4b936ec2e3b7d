#include "emulator/LogSink.h"

#include "platform/Bstr.h"

namespace Emulator {

Platform::ComPtr<ILogSink> LogSink::create(std::shared_ptr<LogBook> book)
{
    return make<ILogSink>(std::move(book));
}

LogSink::LogSink(std::shared_ptr<LogBook> book)
    : book_(std::move(book))
{}

std::span<const ComServer::InterfaceEntry<LogSink>> LogSink::interfaceTable()
{
    static constexpr ComServer::InterfaceEntry<LogSink> table[] = {
        ComServer::interfaceEntry<LogSink, ILogSink>(IID_ILogSink),
    };
    return table;
}

HRESULT LogSink::LogMessage(BSTR text)
{
    try {
        book_->write(Platform::toU16String(text));
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

} // namespace Emulator
