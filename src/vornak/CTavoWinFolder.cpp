#include "vornak/CTavoWinFolder.h"

#include "vornak/ErrorInfo.h"

using Vornak::InterfaceEntry;
using Vornak::interfaceEntry;

namespace {

HRESULT notImplemented(const char* method)
{
    return Vornak::reportNotImplemented(CLSID_TavoWinFolder, IID_ITavoWinFolder, method);
}

} // namespace

CTavoWinFolder::CTavoWinFolder(IUnknown* outer)
    : ComObject(outer)
{}

CTavoWinFolder::~CTavoWinFolder() = default;

std::span<const InterfaceEntry<CTavoWinFolder>> CTavoWinFolder::interfaceTable()
{
    static constexpr InterfaceEntry<CTavoWinFolder> table[] = {
        interfaceEntry<CTavoWinFolder, ITavoWinFolder>(IID_ITavoWinFolder),
        interfaceEntry<CTavoWinFolder, IStorage>(IID_IStorage),
        interfaceEntry<CTavoWinFolder, IDispatch, ITavoWinFolder>(IID_IDispatch),
        interfaceEntry<CTavoWinFolder, ISupportErrorInfo>(IID_ISupportErrorInfo),
        interfaceEntry<CTavoWinFolder, IConnectionPointContainer>(IID_IConnectionPointContainer),
    };
    return table;
}

HRESULT CTavoWinFolder::get_path(BSTR*)
{
    return E_NOTIMPL; // the host directory comes with the host path traits
}

HRESULT CTavoWinFolder::Close()
{
    return E_NOTIMPL;
}

HRESULT CTavoWinFolder::OpenRelPath(BSTR, ULONG)
{
    return E_NOTIMPL;
}

HRESULT CTavoWinFolder::OpenAbsPath(BSTR, ULONG)
{
    return E_NOTIMPL;
}

HRESULT CTavoWinFolder::CreateStream(LPCOLESTR, DWORD, DWORD, DWORD, IStream**)
{
    return E_NOTIMPL;
}

HRESULT CTavoWinFolder::OpenStream(LPCOLESTR, void*, DWORD, DWORD, IStream**)
{
    return E_NOTIMPL;
}

HRESULT CTavoWinFolder::CreateStorage(LPCOLESTR, DWORD, DWORD, DWORD, IStorage** ppstg)
{
    return ppstg == nullptr ? E_POINTER : E_NOTIMPL;
}

HRESULT CTavoWinFolder::OpenStorage(LPCOLESTR, IStorage*, DWORD, SNB, DWORD, IStorage** ppstg)
{
    return ppstg == nullptr ? E_POINTER : E_NOTIMPL;
}

HRESULT CTavoWinFolder::CopyTo(DWORD, const IID*, SNB, IStorage*)
{
    return E_NOTIMPL;
}

HRESULT CTavoWinFolder::MoveElementTo(LPCOLESTR pwcsName, IStorage* pstgDest, LPCOLESTR pwcsNewName,
                                      DWORD)
{
    if (pwcsName == nullptr || pstgDest == nullptr || pwcsNewName == nullptr) {
        return E_POINTER;
    }
    return E_NOTIMPL;
}

HRESULT CTavoWinFolder::Commit(DWORD)
{
    return notImplemented("IStorage::Commit");
}

HRESULT CTavoWinFolder::Revert()
{
    return notImplemented("IStorage::Revert");
}

HRESULT CTavoWinFolder::EnumElements(DWORD, void*, DWORD, IEnumSTATSTG** ppenum)
{
    return ppenum == nullptr ? E_POINTER : E_NOTIMPL;
}

HRESULT CTavoWinFolder::DestroyElement(LPCOLESTR)
{
    return E_NOTIMPL;
}

HRESULT CTavoWinFolder::RenameElement(LPCOLESTR, LPCOLESTR)
{
    return E_NOTIMPL;
}

HRESULT CTavoWinFolder::SetElementTimes(LPCOLESTR, const FILETIME*, const FILETIME*,
                                        const FILETIME*)
{
    return notImplemented("IStorage::SetElementTimes");
}

HRESULT CTavoWinFolder::SetClass(REFCLSID)
{
    return notImplemented("IStorage::SetClass");
}

HRESULT CTavoWinFolder::SetStateBits(DWORD, DWORD)
{
    return E_NOTIMPL; // comes with the folder's state
}

HRESULT CTavoWinFolder::Stat(STATSTG*, DWORD)
{
    return E_NOTIMPL;
}

HRESULT CTavoWinFolder::InterfaceSupportsErrorInfo(REFIID riid)
{
    static constexpr const IID* kSupported[] = {&IID_ITavoWinFolder};
    return Vornak::supportsErrorInfo(riid, kSupported);
}
