#include "tools/vornak-tools/CEmulatedPort.h"

#include "comserver/ErrorInfo.h"
#include "diag/Efs2.h"
#include "diag/LittleEndian.h"
#include "emulator/EmulatedPort.h"
#include "emulator/Seed.h"
#include "platform/Bstr.h"
#include "platform/ComError.h"
#include "tools/vornak-tools/Failure.h"
#include "tools/vornak-tools/ScriptValues.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <vector>

namespace VornakTools {

using ComServer::InterfaceEntry;
using ComServer::interfaceEntry;

namespace {

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

HRESULT report(const ComServer::Boundary& boundary, HRESULT hr, const char* description) noexcept
{
    return ComServer::reportError(*boundary.clsid, std::string_view(description), 0, *boundary.iid,
                                  hr);
}

// The port's own failures: the module's, then what the emulator and the
// host's file system throw for what a script asked of them.
std::optional<HRESULT> reportPortFailure(const ComServer::Boundary& boundary) noexcept
{
    if (const std::optional<HRESULT> hr = reportToolFailure(boundary)) {
        return hr;
    }
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    } catch (const std::filesystem::filesystem_error& error) {
        return report(boundary, fromHostError(error.code()), error.what());
    } catch (const std::invalid_argument& error) {
        return report(boundary, E_INVALIDARG,
                      error.what()); // a path or name the handset cannot hold
    } catch (const std::length_error& error) {
        return report(boundary, E_INVALIDARG, error.what()); // a file beyond the handset's limits
    } catch (const std::exception& error) {
        return report(boundary, E_FAIL, error.what());
    } catch (...) {
        return std::nullopt;
    }
}

constexpr ComServer::Boundary kBoundary =
    boundary(CLSID_EmulatedPort, IID_IEmulatedPort, &reportPortFailure);
constexpr ComServer::Boundary kPortBoundary =
    boundary(CLSID_EmulatedPort, IID_IDiagPort, &reportPortFailure);

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
    serverPort_ = Platform::queryInterface<IServerPort>(port_.get(), IID_IServerPort);
}

CEmulatedPort::~CEmulatedPort() = default;

std::span<const InterfaceEntry<CEmulatedPort>> CEmulatedPort::interfaceTable()
{
    using Dual = ComServer::DualDispatch<IEmulatedPort, IID_IEmulatedPort>;
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
    return ComServer::guard(kBoundary, [&] {
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
    return ComServer::guard(kBoundary, [&] {
        const std::lock_guard lock(mutex_);
        *pVal = allocate(seedSkipped_);
        return S_OK;
    });
}

HRESULT CEmulatedPort::Clear()
{
    return ComServer::guard(kBoundary, [&] {
        handset_->edit([](Emulator::FileSystem& current) {
            current = Emulator::FileSystem(current.limits());
        });
        return S_OK;
    });
}

HRESULT CEmulatedPort::MakeDirectory(BSTR path)
{
    return ComServer::guard(kBoundary, [&] {
        handset_->edit(
            [&](Emulator::FileSystem& current) { current.addDirectory(handsetPath(path)); });
        return S_OK;
    });
}

HRESULT CEmulatedPort::PutText(BSTR path, BSTR value)
{
    return ComServer::guard(kBoundary, [&] {
        const std::vector<std::uint8_t> bytes = toUtf8(text(value));
        handset_->edit(
            [&](Emulator::FileSystem& current) { current.addFile(handsetPath(path), bytes); });
        return S_OK;
    });
}

HRESULT CEmulatedPort::PutBytes(BSTR path, VARIANT value)
{
    return ComServer::guard(kBoundary, [&] {
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
    return ComServer::guard(kBoundary, [&] {
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
    return ComServer::guard(kBoundary, [&] {
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
    return ComServer::guard(kBoundary, [&] {
        Emulator::Attributes attributes;
        *exists = handset_->stat(handsetPath(path), attributes) == 0 ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    });
}

HRESULT CEmulatedPort::InjectFault(BSTR kind, ULONG value, VARIANT command)
{
    return ComServer::guard(kBoundary, [&] {
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
    return ComServer::guard(kBoundary, [&] {
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
    return ComServer::guard(kBoundary, [&] {
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
    return ComServer::guard(kBoundary, [&] {
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
    return ComServer::guard(kBoundary, [&] {
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
    return ComServer::guard(kPortBoundary, [&] {
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
    });
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
    return ComServer::supportsErrorInfo(riid, supported);
}

} // namespace VornakTools
