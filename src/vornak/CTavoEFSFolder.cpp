#include "vornak/CTavoEFSFolder.h"

#include "platform/Bstr.h"
#include "vornak/ErrorInfo.h"

#include <utility>

using Vornak::InterfaceEntry;
using Vornak::interfaceEntry;

namespace {

// The methods that reach the handset (the element operations and the
// recursive listing) report for IStorage; Connect for the folder's own
// interface.
[[maybe_unused]] constexpr Vornak::Boundary kBoundary = {&CLSID_TavoEFSFolder, &IID_IStorage,
                                                         VORNAK_E_UNEXPECTED};
constexpr Vornak::Boundary kConnectBoundary = {&CLSID_TavoEFSFolder, &IID_ITavoEFSFolder,
                                               VORNAK_E_UNEXPECTED};

// The folder's unsupported methods record the file stream's interface, not
// IStorage, in their error information.
HRESULT notImplemented(const char* method)
{
    return Vornak::reportNotImplemented(CLSID_TavoEFSFolder, IID_ITavoEFSFile, method);
}

} // namespace

CTavoEFSFolder::CTavoEFSFolder(IUnknown* outer)
    : ComObject(outer)
{}

CTavoEFSFolder::~CTavoEFSFolder() = default;

std::span<const InterfaceEntry<CTavoEFSFolder>> CTavoEFSFolder::interfaceTable()
{
    static constexpr InterfaceEntry<CTavoEFSFolder> table[] = {
        interfaceEntry<CTavoEFSFolder, ITavoEFSFolder>(IID_ITavoEFSFolder),
        interfaceEntry<CTavoEFSFolder, IStorage>(IID_IStorage),
        interfaceEntry<CTavoEFSFolder, IDispatch, ITavoEFSFolder>(IID_IDispatch),
        interfaceEntry<CTavoEFSFolder, ISupportErrorInfo>(IID_ISupportErrorInfo),
        interfaceEntry<CTavoEFSFolder, IConnectionPointContainer>(IID_IConnectionPointContainer),
    };
    return table;
}

HRESULT CTavoEFSFolder::Connect(IUnknown* pPort, ULONG nTimeout, BSTR path, ULONG fileSubsysId)
{
    if (pPort == nullptr) {
        return E_POINTER;
    }
    return Vornak::guard(kConnectBoundary, [&] {
        // An object that is no port leaves the folder without one: every
        // later operation that reaches the handset then fails.
        Platform::ComPtr<IDiagPort> port;
        const HRESULT hr = pPort->QueryInterface(IID_IDiagPort, port.putVoid());
        if (FAILED(hr)) {
            port.detach();
            if (hr != E_NOINTERFACE) {
                throw _com_error(hr);
            }
        }
        std::u16string text = Platform::toU16String(path);
        port_ = std::move(port);
        timeout_ = nTimeout;
        path_ = std::move(text);
        fileSubsysId_ = static_cast<std::uint8_t>(fileSubsysId & 0xFFu);
        return S_OK;
    });
}

HRESULT CTavoEFSFolder::get_path(BSTR* pVal)
{
    if (pVal == nullptr) {
        return E_POINTER;
    }
    BSTR copy =
        SysAllocStringLen(Platform::asOleText(path_.c_str()), static_cast<UINT>(path_.size()));
    if (copy == nullptr) {
        return E_OUTOFMEMORY;
    }
    *pVal = copy;
    return S_OK;
}

HRESULT CTavoEFSFolder::RecursiveDirList(IUnknown**)
{
    return E_NOTIMPL; // the recursive listing comes with the directory reader
}

HRESULT CTavoEFSFolder::CreateStream(LPCOLESTR, DWORD, DWORD, DWORD, IStream**)
{
    return E_NOTIMPL; // the element operations come with the file stream
}

HRESULT CTavoEFSFolder::OpenStream(LPCOLESTR, void*, DWORD, DWORD, IStream**)
{
    return E_NOTIMPL;
}

HRESULT CTavoEFSFolder::CreateStorage(LPCOLESTR, DWORD, DWORD, DWORD, IStorage**)
{
    return E_NOTIMPL;
}

HRESULT CTavoEFSFolder::OpenStorage(LPCOLESTR, IStorage*, DWORD, SNB, DWORD, IStorage**)
{
    return E_NOTIMPL;
}

HRESULT CTavoEFSFolder::CopyTo(DWORD, const IID*, SNB, IStorage*)
{
    return E_NOTIMPL;
}

HRESULT CTavoEFSFolder::MoveElementTo(LPCOLESTR, IStorage*, LPCOLESTR, DWORD)
{
    return E_NOTIMPL;
}

HRESULT CTavoEFSFolder::Commit(DWORD)
{
    return notImplemented("IStorage::Commit");
}

HRESULT CTavoEFSFolder::Revert()
{
    return notImplemented("IStorage::Revert");
}

HRESULT CTavoEFSFolder::EnumElements(DWORD, void*, DWORD, IEnumSTATSTG**)
{
    return E_NOTIMPL;
}

HRESULT CTavoEFSFolder::DestroyElement(LPCOLESTR)
{
    return E_NOTIMPL;
}

HRESULT CTavoEFSFolder::RenameElement(LPCOLESTR, LPCOLESTR)
{
    return E_NOTIMPL;
}

HRESULT CTavoEFSFolder::SetElementTimes(LPCOLESTR, const FILETIME*, const FILETIME*,
                                        const FILETIME*)
{
    return notImplemented("IStorage::SetElementTimes");
}

HRESULT CTavoEFSFolder::SetClass(REFCLSID)
{
    return notImplemented("IStorage::SetClass");
}

HRESULT CTavoEFSFolder::SetStateBits(DWORD, DWORD)
{
    return notImplemented("IStorage::SetStateBits");
}

HRESULT CTavoEFSFolder::Stat(STATSTG*, DWORD)
{
    return E_NOTIMPL;
}

HRESULT CTavoEFSFolder::InterfaceSupportsErrorInfo(REFIID riid)
{
    static constexpr const IID* kSupported[] = {&IID_ITavoEFSFolder, &IID_IStorage};
    return Vornak::supportsErrorInfo(riid, kSupported);
}
