#include "tools/vornak-tools/CSerialPort.h"

#include "platform/UniqueAny.h"
#include "tools/vornak-tools/Failure.h"

#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace VornakTools {

using ComServer::InterfaceEntry;
using ComServer::interfaceEntry;

namespace {

constexpr ComServer::Boundary kBoundary = boundary(CLSID_SerialPort, IID_ISerialPort);
constexpr ComServer::Boundary kPortBoundary = boundary(CLSID_SerialPort, IID_IDiagPort);

constexpr HRESULT kNotOpen = HRESULT_FROM_WIN32(ERROR_NOT_READY);

std::wstring widen(std::string_view text)
{
    return std::wstring(text.begin(), text.end()); // ASCII: device names and parse messages
}

// The system's own sentence for a Windows error, without its line break.
std::wstring systemMessage(DWORD error)
{
    Platform::UniqueNull<wchar_t*, &LocalFree> buffer;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(buffer.put()), 0, nullptr);
    std::wstring text = length != 0 ? std::wstring(buffer.get(), length) : std::wstring();
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
        text.pop_back();
    }
    return text.empty() ? L"error " + std::to_wstring(error) : text;
}

// The settings of "serial:COM3[:115200]", or of the same without "serial:".
Transport::SerialSettings settingsFrom(BSTR port)
{
    const std::wstring_view typed =
        port == nullptr ? std::wstring_view() : std::wstring_view(port, SysStringLen(port));
    std::string written;
    for (const wchar_t c : typed) {
        if (c < 0x20 || c > 0x7E) {
            throw Failure{E_INVALIDARG, L"a serial port is named in plain letters and digits, "
                                        L"such as COM3"};
        }
        written += static_cast<char>(c);
    }
    constexpr std::string_view kScheme = "serial:";
    if (!written.starts_with(kScheme)) {
        written.insert(0, kScheme);
    }
    if (written.size() == kScheme.size()) {
        throw Failure{E_INVALIDARG,
                      L"Open needs a serial port, such as \"COM3\" or \"serial:COM3:115200\""};
    }
    try {
        return Transport::parseSerialPort(written);
    } catch (const std::invalid_argument& error) {
        throw Failure{E_INVALIDARG, widen(error.what())};
    }
}

// Why a line could not be opened, in the words a person at a handset needs.
Failure openFailure(const std::system_error& error, const Transport::SerialSettings& settings)
{
    const DWORD code = error.code().category() == std::system_category()
                           ? static_cast<DWORD>(error.code().value())
                           : static_cast<DWORD>(ERROR_GEN_FAILURE);
    const HRESULT hr = HRESULT_FROM_WIN32(code);
    const std::wstring device = widen(settings.device);
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return {hr, L"there is no serial port " + device +
                        L": is the handset plugged in, and is this the port Windows gave it?"};
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return {hr, device + L" is in use by another program"};
    case ERROR_INVALID_PARAMETER:
        return {hr, device + L" cannot be set to " + std::to_wstring(settings.baud) + L" baud"};
    default:
        return {hr, L"cannot open " + device + L": " + systemMessage(code)};
    }
}

} // namespace

CSerialPort::CSerialPort(IUnknown* outer)
    : ComObject(outer)
{}

CSerialPort::~CSerialPort() = default;

std::span<const InterfaceEntry<CSerialPort>> CSerialPort::interfaceTable()
{
    using Dual = ComServer::DualDispatch<ISerialPort, IID_ISerialPort>;
    static constexpr InterfaceEntry<CSerialPort> table[] = {
        interfaceEntry<CSerialPort, ISerialPort, Dual>(IID_ISerialPort),
        interfaceEntry<CSerialPort, IDispatch, Dual>(IID_IDispatch),
        interfaceEntry<CSerialPort, IDiagPort>(IID_IDiagPort),
        interfaceEntry<CSerialPort, ISupportErrorInfo>(IID_ISupportErrorInfo),
    };
    return table;
}

HRESULT CSerialPort::Open(BSTR port)
{
    return ComServer::guard(kBoundary, [&] {
        const Transport::SerialSettings settings = settingsFrom(port);
        const std::lock_guard lock(mutex_);
        // A COM port has one owner at a time: the line held so far goes
        // first, also when it is the same one.
        closeLocked();
        try {
            line_ = Transport::SerialPort::open(settings);
        } catch (const std::system_error& error) {
            throw openFailure(error, settings);
        }
        settings_ = settings;
        closedCounters_ = {};
        return S_OK;
    });
}

HRESULT CSerialPort::Close()
{
    return ComServer::guard(kBoundary, [&] {
        const std::lock_guard lock(mutex_);
        closeLocked();
        return S_OK;
    });
}

void CSerialPort::closeLocked()
{
    if (line_) {
        closedCounters_ = countersLocked();
        line_.reset();
    }
}

CSerialPort::Counters CSerialPort::countersLocked() const
{
    // Every line this object opens is a Transport::SerialPort.
    return line_ ? static_cast<const Transport::SerialPort*>(line_.get())->counters()
                 : closedCounters_;
}

HRESULT CSerialPort::get_IsOpen(VARIANT_BOOL* pVal)
{
    if (pVal == nullptr) {
        return E_POINTER;
    }
    return ComServer::guard(kBoundary, [&] {
        const std::lock_guard lock(mutex_);
        *pVal = line_ ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    });
}

HRESULT CSerialPort::get_Device(BSTR* pVal)
{
    if (pVal == nullptr) {
        return E_POINTER;
    }
    *pVal = nullptr;
    return ComServer::guard(kBoundary, [&] {
        std::wstring device;
        {
            const std::lock_guard lock(mutex_);
            device = widen(settings_.device);
        }
        *pVal = SysAllocStringLen(device.data(), static_cast<UINT>(device.size()));
        return *pVal != nullptr ? S_OK : E_OUTOFMEMORY;
    });
}

HRESULT CSerialPort::get_Baud(LONG* pVal)
{
    if (pVal == nullptr) {
        return E_POINTER;
    }
    return ComServer::guard(kBoundary, [&] {
        const std::lock_guard lock(mutex_);
        *pVal = settings_.device.empty() ? 0 : static_cast<LONG>(settings_.baud);
        return S_OK;
    });
}

HRESULT CSerialPort::readCounter(double* out, std::uint64_t Counters::*counter)
{
    if (out == nullptr) {
        return E_POINTER;
    }
    return ComServer::guard(kBoundary, [&] {
        const std::lock_guard lock(mutex_);
        *out = static_cast<double>(countersLocked().*counter);
        return S_OK;
    });
}

HRESULT CSerialPort::get_BytesSent(double* pVal)
{
    return readCounter(pVal, &Counters::bytesSent);
}

HRESULT CSerialPort::get_BytesReceived(double* pVal)
{
    return readCounter(pVal, &Counters::bytesReceived);
}

HRESULT CSerialPort::get_FramesDropped(double* pVal)
{
    return readCounter(pVal, &Counters::framesDropped);
}

HRESULT CSerialPort::get_BadFrames(double* pVal)
{
    return readCounter(pVal, &Counters::badFrames);
}

HRESULT CSerialPort::SendRequest(ULONG requestLength, const BYTE* request, ULONG constant1,
                                 ULONG constant0, ULONG timeout, USHORT* responseLength,
                                 BYTE* response)
{
    return ComServer::guard(kPortBoundary, [&] {
        const std::lock_guard lock(mutex_);
        if (!line_) {
            throw Failure{kNotOpen, L"the serial port is not open: call Open first"};
        }
        const HRESULT hr = line_->SendRequest(requestLength, request, constant1, constant0, timeout,
                                              responseLength, response);
        if (SUCCEEDED(hr)) {
            return hr;
        }
        const std::wstring device = widen(settings_.device);
        switch (hr) {
        case Transport::kTimeoutResult:
            throw Failure{hr, L"the handset on " + device + L" did not answer within " +
                                  std::to_wstring(timeout != 0
                                                      ? timeout
                                                      : Transport::SerialPort::kDefaultTimeoutMs) +
                                  L" ms"};
        case Transport::kBufferTooSmallResult:
            throw Failure{hr, L"the handset's answer on " + device +
                                  L" is longer than the buffer it was asked for"};
        case E_POINTER:
            throw Failure{hr, L"SendRequest needs a request and a buffer for the answer"};
        default:
            throw Failure{hr, L"the serial line " + device + L" failed: " +
                                  systemMessage(static_cast<DWORD>(HRESULT_CODE(hr)))};
        }
    });
}

HRESULT CSerialPort::InterfaceSupportsErrorInfo(REFIID riid)
{
    static const IID* const supported[] = {&IID_ISerialPort, &IID_IDiagPort};
    return ComServer::supportsErrorInfo(riid, supported);
}

} // namespace VornakTools
