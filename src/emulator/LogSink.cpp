#include "emulator/LogSink.h"

#include "platform/Bstr.h"

namespace Emulator {

Platform::ComPtr<ILogSink> LogSink::create(std::shared_ptr<LogBook> book)
{
    return Platform::ComPtr<ILogSink>::attach(new LogSink(std::move(book)));
}

LogSink::LogSink(std::shared_ptr<LogBook> book)
    : book_(std::move(book))
{}

void* LogSink::interfaceFor(REFIID iid)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ILogSink)) {
        return static_cast<ILogSink*>(this);
    }
    return nullptr;
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
