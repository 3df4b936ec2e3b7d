#include "tools/vornak-tools/CEmulatedPort.h"

#include "diag/Efs2.h"
#include "diag/LittleEndian.h"
#include "emulator/EmulatedPort.h"
#include "emulator/Seed.h"
#include "platform/Bstr.h"
#include "platform/ComError.h"
#include "tools/vornak-tools/ScriptValues.h"
#include "vornak/ErrorInfo.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <vector>

namespace VornakTools {

using Vornak::InterfaceEntry;
using Vornak::interfaceEntry;

namespace {

HRESULT report(HRESULT hr, const wchar_t* description, DWORD helpContext = 0) noexcept
{
    return Vornak::reportError(CLSID_EmulatedPort, description, helpContext, IID_IEmulatedPort, hr);
}

HRESULT report(HRESULT hr, std::string_view description) noexcept
{
    return Vornak::reportError(CLSID_EmulatedPort, description, 0, IID_IEmulatedPort, hr);
}

// What a host directory that cannot be listed comes to.
HRESULT fromHostError(const std::error_code& code) noexcept
{
    if (code.category() == std::system_category() && code.value() > 0) {
        return HRESULT_FROM_WIN32(static_cast<unsigned long>(code.value()));
    }
    if (code == std::errc::no_such_file_or_directory) {
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    }
    if (code == std::errc::not_a_directory) {
        return HRESULT_FROM_WIN32(ERROR_DIRECTORY);
    }
    if (code == std::errc::permission_denied) {
        return E_ACCESSDENIED;
    }
    return E_FAIL;
}

// Runs a method's body, a callable returning an HRESULT; whatever it throws
// becomes an HRESULT with error information for IEmulatedPort.
template <class Body>
HRESULT guard(Body&& body) noexcept
{
    try {
        return body();
    } catch (const Failure& failure) {
        return report(failure.hr, failure.description.c_str(), failure.helpContext);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::filesystem::filesystem_error& error) {
        return report(fromHostError(error.code()), error.what());
    } catch (const std::invalid_argument& error) {
        return report(E_INVALIDARG, error.what()); // a path or name the handset cannot hold
    } catch (const std::length_error& error) {
        return report(E_INVALIDARG, error.what()); // a file beyond the handset's limits
    } catch (const std::exception& error) {
        return report(E_FAIL, error.what());
    } catch (...) {
        return report(E_UNEXPECTED, L"");
    }
}

std::u16string handsetPath(BSTR path)
{
    return Platform::toU16String(path);
}

std::wstring_view text(BSTR value)
{
    return value == nullptr ? std::wstring_view() : std::wstring_view(value, SysStringLen(value));
}

// The content of a handset file; a device error becomes VORNAK_TOOLS_E_HANDSET
// with the error number as help context.
std::vector<std::uint8_t> readHandsetFile(const Emulator::Handset& handset, BSTR path)
{
    std::vector<std::uint8_t> bytes;
    const std::uint32_t error = handset.readFile(handsetPath(path), bytes);
    if (error != 0) {
        throw Failure{VORNAK_TOOLS_E_HANDSET,
                      std::wstring(text(path)) + L": the handset answered error " +
                          std::to_wstring(error),
                      error};
    }
    return bytes;
}

BSTR allocate(std::wstring_view value)
{
    BSTR copy = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
    if (copy == nullptr) {
        throw std::bad_alloc();
    }
    return copy;
}

template <class T>
HRESULT readOut(T* out, T value)
{
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = value;
    return S_OK;
}

LONG asLong(std::size_t count)
{
    return static_cast<LONG>(std::min<std::size_t>(count, 0x7FFFFFFF));
}

} // namespace

CEmulatedPort::CEmulatedPort(IUnknown* outer)
    : ComObject(outer)
    , handset_(std::make_shared<Emulator::Handset>())
    , log_(std::make_shared<Emulator::LogBook>())
    , port_(Emulator::EmulatedPort::create(handset_, Emulator::EmulatedPort::kDefaultPortId, log_))
    , portId_(Emulator::EmulatedPort::kDefaultPortId)
{
    Platform::throwIfFailed(port_->QueryInterface(IID_IServerPort, serverPort_.putVoid()));
}

CEmulatedPort::~CEmulatedPort() = default;

std::span<const InterfaceEntry<CEmulatedPort>> CEmulatedPort::interfaceTable()
{
    using Dual = Dispatch<IEmulatedPort, IID_IEmulatedPort>;
    static constexpr InterfaceEntry<CEmulatedPort> table[] = {
        interfaceEntry<CEmulatedPort, IEmulatedPort, Dual>(IID_IEmulatedPort),
        interfaceEntry<CEmulatedPort, IDispatch, Dual>(IID_IDispatch),
        interfaceEntry<CEmulatedPort, IDiagPort>(IID_IDiagPort),
        interfaceEntry<CEmulatedPort, IPortIdentity>(IID_IPortIdentity),
        interfaceEntry<CEmulatedPort, IServerPort>(IID_IServerPort),
        interfaceEntry<CEmulatedPort, ISupportErrorInfo>(IID_ISupportErrorInfo),
    };
    return table;
}

HRESULT CEmulatedPort::Seed(BSTR hostDirectory, LONG* entries)
{
    if (entries == nullptr) {
        return E_POINTER;
    }
    *entries = 0;
    return guard([&] {
        // The new tree is built aside, so a directory that cannot be listed
        // leaves the handset as it was.
        Emulator::FileSystem seeded(
            handset_->edit([](Emulator::FileSystem& current) { return current.limits(); }));
        const Emulator::SeedReport seedReport = Emulator::seedFromHost(
            seeded, std::filesystem::path(std::wstring(text(hostDirectory))));
        std::wstring skipped;
        for (const std::filesystem::path& path : seedReport.skipped) {
            skipped += (skipped.empty() ? L"" : L"\n") + path.wstring();
        }
        handset_->edit([&](Emulator::FileSystem& current) { current = std::move(seeded); });
        {
            const std::lock_guard lock(mutex_);
            seedSkipped_ = std::move(skipped);
        }
        *entries = asLong(seedReport.directories + seedReport.files);
        return S_OK;
    });
}

HRESULT CEmulatedPort::get_SeedSkipped(BSTR* pVal)
{
    if (pVal == nullptr) {
        return E_POINTER;
    }
    *pVal = nullptr;
    return guard([&] {
        const std::lock_guard lock(mutex_);
        *pVal = allocate(seedSkipped_);
        return S_OK;
    });
}

HRESULT CEmulatedPort::Clear()
{
    return guard([&] {
        handset_->edit([](Emulator::FileSystem& current) {
            current = Emulator::FileSystem(current.limits());
        });
        return S_OK;
    });
}

HRESULT CEmulatedPort::MakeDirectory(BSTR path)
{
    return guard([&] {
        handset_->edit(
            [&](Emulator::FileSystem& current) { current.addDirectory(handsetPath(path)); });
        return S_OK;
    });
}

HRESULT CEmulatedPort::PutText(BSTR path, BSTR value)
{
    return guard([&] {
        const std::vector<std::uint8_t> bytes = toUtf8(text(value));
        handset_->edit(
            [&](Emulator::FileSystem& current) { current.addFile(handsetPath(path), bytes); });
        return S_OK;
    });
}

HRESULT CEmulatedPort::PutBytes(BSTR path, VARIANT value)
{
    return guard([&] {
        const std::vector<std::uint8_t> bytes = bytesFromVariant(value);
        handset_->edit(
            [&](Emulator::FileSystem& current) { current.addFile(handsetPath(path), bytes); });
        return S_OK;
    });
}

HRESULT CEmulatedPort::GetText(BSTR path, BSTR* value)
{
    if (value == nullptr) {
        return E_POINTER;
    }
    *value = nullptr;
    return guard([&] {
        *value = allocate(fromUtf8(readHandsetFile(*handset_, path)));
        return S_OK;
    });
}

HRESULT CEmulatedPort::GetBytes(BSTR path, VARIANT* value)
{
    if (value == nullptr) {
        return E_POINTER;
    }
    VariantInit(value);
    return guard([&] {
        bytesToVariant(readHandsetFile(*handset_, path), value);
        return S_OK;
    });
}

HRESULT CEmulatedPort::Exists(BSTR path, VARIANT_BOOL* exists)
{
    if (exists == nullptr) {
        return E_POINTER;
    }
    *exists = VARIANT_FALSE;
    return guard([&] {
        Emulator::Attributes attributes;
        *exists = handset_->stat(handsetPath(path), attributes) == 0 ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    });
}

HRESULT CEmulatedPort::InjectFault(BSTR kind, ULONG value, VARIANT command)
{
    return guard([&] {
        Emulator::Fault fault(faultKindFromName(text(kind)), value);
        if (const std::optional<std::uint16_t> code = commandFromVariant(command)) {
            fault = fault.on(*code);
        }
        handset_->queueFault(fault);
        return S_OK;
    });
}

HRESULT CEmulatedPort::ClearFaults()
{
    return guard([&] {
        handset_->clearFaults();
        return S_OK;
    });
}

HRESULT CEmulatedPort::get_PendingFaults(LONG* pVal)
{
    return readOut(pVal, asLong(handset_->pendingFaults()));
}

HRESULT CEmulatedPort::get_OpenDescriptors(LONG* pVal)
{
    return readOut(pVal, asLong(handset_->openDescriptors()));
}

HRESULT CEmulatedPort::get_OpenDirectories(LONG* pVal)
{
    return readOut(pVal, asLong(handset_->openDirectories()));
}

HRESULT CEmulatedPort::RequestCount(VARIANT command, LONG* count)
{
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = 0;
    return guard([&] {
        const std::optional<std::uint16_t> code = commandFromVariant(command);
        const std::lock_guard lock(mutex_);
        if (!code) {
            *count = requestTotal_;
        } else if (const auto found = requests_.find(*code); found != requests_.end()) {
            *count = found->second;
        }
        return S_OK;
    });
}

HRESULT CEmulatedPort::get_PortId(ULONG* pVal)
{
    return readOut(pVal, portId_.load());
}

HRESULT CEmulatedPort::put_PortId(ULONG newVal)
{
    portId_.store(newVal);
    return S_OK;
}

HRESULT CEmulatedPort::get_LogCount(LONG* pVal)
{
    if (pVal == nullptr) {
        return E_POINTER;
    }
    *pVal = 0;
    return guard([&] {
        *pVal = asLong(log_->lines().size());
        return S_OK;
    });
}

HRESULT CEmulatedPort::LogLine(LONG index, BSTR* line)
{
    if (line == nullptr) {
        return E_POINTER;
    }
    *line = nullptr;
    return guard([&] {
        const std::vector<std::u16string> lines = log_->lines();
        if (index < 0 || static_cast<std::size_t>(index) >= lines.size()) {
            throw Failure{DISP_E_BADINDEX, L"the log has no line " + std::to_wstring(index)};
        }
        const std::u16string& chosen = lines[static_cast<std::size_t>(index)];
        *line = allocate(std::wstring_view(Platform::asOleText(chosen.data()), chosen.size()));
        return S_OK;
    });
}

HRESULT CEmulatedPort::SendRequest(ULONG requestLength, const BYTE* request, ULONG constant1,
                                   ULONG constant0, ULONG timeout, USHORT* responseLength,
                                   BYTE* response)
{
    try {
        {
            const std::lock_guard lock(mutex_);
            if (requestTotal_ < 0x7FFFFFFF) {
                ++requestTotal_;
            }
            if (request != nullptr && requestLength >= Diag::Efs2::kHeaderSize) {
                LONG& count = requests_[Diag::LittleEndian::read16(request + 2)];
                count += count < 0x7FFFFFFF ? 1 : 0;
            }
        }
        return port_->SendRequest(requestLength, request, constant1, constant0, timeout,
                                  responseLength, response);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED; // nothing thrown may leave a COM method
    }
}

HRESULT CEmulatedPort::GetService(ULONG selector, ULONG constant0, IUnknown** service)
{
    return serverPort_->GetService(selector, constant0, service);
}

HRESULT CEmulatedPort::GetLog(IUnknown** log)
{
    return serverPort_->GetLog(log);
}

HRESULT CEmulatedPort::GetPortId(ULONG* portId)
{
    return readOut(portId, portId_.load());
}

HRESULT CEmulatedPort::InterfaceSupportsErrorInfo(REFIID riid)
{
    static const IID* const supported[] = {&IID_IEmulatedPort};
    return Vornak::supportsErrorInfo(riid, supported);
}

} // namespace VornakTools
