#include "vornak/CTavoWinFolder.h"

#include "comserver/ErrorInfo.h"
#include "comserver/TaskMemory.h"
#include "platform/Bstr.h"
#include "platform/UniqueAny.h"
#include "system/BasicPath.h"
#include "system/Win32PathTraits.h"

#include <shlwapi.h>

#include <new>
#include <string_view>

using ComServer::InterfaceEntry;
using ComServer::interfaceEntry;

namespace {

using HostPath = System::BasicPath<System::Win32::PathTraits>;

// The modes every host stream gets besides the caller's: created streams are
// STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE, opened ones exclusive.
constexpr DWORD kCreateMode = 0x1012;
constexpr DWORD kOpenMode = STGM_SHARE_EXCLUSIVE;

HRESULT notImplemented(const char* method)
{
    return ComServer::reportNotImplemented(CLSID_TavoWinFolder, IID_ITavoWinFolder, method);
}

HRESULT lastError()
{
    const DWORD error = GetLastError();
    return error != 0 ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

// `text` in the thread's ANSI code page, for the platform's "A" calls.
HRESULT toAnsiNoThrow(std::u16string_view text, std::string& ansi)
{
    ansi.clear();
    if (text.empty()) {
        return S_OK;
    }
    const auto* wide = reinterpret_cast<LPCWCH>(text.data());
    const int units = static_cast<int>(text.size());
    const int size =
        WideCharToMultiByte(CP_THREAD_ACP, 0, wide, units, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return lastError();
    }
    try {
        ansi.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (WideCharToMultiByte(CP_THREAD_ACP, 0, wide, units, ansi.data(), size, nullptr, nullptr) <=
        0) {
        return lastError();
    }
    return S_OK;
}

// S_OK when `probe` names a host directory (relative to the current
// directory unless absolute), else E_INVALIDARG.
HRESULT checkDirectory(const std::u16string& probe)
{
    std::string ansi;
    if (const HRESULT hr = toAnsiNoThrow(probe, ansi); FAILED(hr)) {
        return hr;
    }
    const DWORD attributes = GetFileAttributesA(ansi.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
               ? S_OK
               : E_INVALIDARG;
}

HRESULT openHostStream(LPCOLESTR name, DWORD mode, IStream** ppstm)
{
    std::string ansi;
    if (const HRESULT hr = toAnsiNoThrow(Platform::asUtf16(name), ansi); FAILED(hr)) {
        return hr;
    }
    return SHCreateStreamOnFileA(ansi.c_str(), mode, ppstm);
}

// A search of the host's file system, closed by its owner.
struct FindTraits {
    using Type = HANDLE;
    static Type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Type search) noexcept { FindClose(search); }
};
using FindHandle = Platform::UniqueAny<FindTraits>;

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

HRESULT CTavoWinFolder::get_path(BSTR* pVal)
{
    if (pVal == nullptr) {
        return E_POINTER;
    }
    const ComServer::CriticalSection::Lock lock(section_);
    if (!open_) {
        return E_INVALIDARG;
    }
    BSTR copy =
        SysAllocStringLen(Platform::asOleText(path_.c_str()), static_cast<UINT>(path_.size()));
    if (copy == nullptr) {
        return E_OUTOFMEMORY;
    }
    *pVal = copy;
    return S_OK;
}

HRESULT CTavoWinFolder::Close()
{
    const ComServer::CriticalSection::Lock lock(section_);
    // The state bits are the folder's own and survive.
    path_.clear();
    open_ = false;
    named_ = false;
    grfMode_ = STGM_SHARE_EXCLUSIVE;
    return S_OK;
}

HRESULT CTavoWinFolder::OpenRelPath(BSTR path, ULONG grfMode)
{
    return open(path, grfMode, false);
}

HRESULT CTavoWinFolder::OpenAbsPath(BSTR path, ULONG grfMode)
{
    return open(path, grfMode, true);
}

HRESULT CTavoWinFolder::open(BSTR path, ULONG grfMode, bool named)
{
    const ComServer::CriticalSection::Lock lock(section_);
    if (open_) {
        return E_INVALIDARG;
    }
    try {
        const std::u16string text = Platform::toU16String(path);
        // "\" alone would name the root of the current drive.
        if (text.empty()) {
            return E_INVALIDARG;
        }
        // Only "\" counts as the final separator: "a/" is probed as "a/\".
        std::u16string withSeparator = text;
        if (withSeparator.back() != u'\\') {
            withSeparator += u'\\';
        }
        const HRESULT hr = checkDirectory(withSeparator);
        if (FAILED(hr)) {
            return hr;
        }
        path_ = named ? std::move(withSeparator) : text;
        open_ = true;
        named_ = named;
        grfMode_ = grfMode;
        return hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

// The stream name is a host path of its own, absolute or relative to the
// current directory: the folder's path is not put in front of it.
HRESULT CTavoWinFolder::CreateStream(LPCOLESTR pwcsName, DWORD grfMode, DWORD, DWORD,
                                     IStream** ppstm)
{
    if (ppstm == nullptr || pwcsName == nullptr) {
        return E_POINTER;
    }
    return openHostStream(pwcsName, grfMode | kCreateMode, ppstm);
}

HRESULT CTavoWinFolder::OpenStream(LPCOLESTR pwcsName, void*, DWORD grfMode, DWORD, IStream** ppstm)
{
    if (ppstm == nullptr || pwcsName == nullptr) {
        return E_POINTER;
    }
    return openHostStream(pwcsName, grfMode | kOpenMode, ppstm);
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

HRESULT CTavoWinFolder::SetStateBits(DWORD grfStateBits, DWORD grfMask)
{
    const ComServer::CriticalSection::Lock lock(section_);
    grfStateBits_ = (grfStateBits_ & ~grfMask) | (grfStateBits & grfMask);
    return S_OK;
}

HRESULT CTavoWinFolder::Stat(STATSTG* pstatstg, DWORD grfStatFlag)
{
    if (pstatstg == nullptr) {
        return E_POINTER;
    }
    const ComServer::CriticalSection::Lock lock(section_);
    if (!open_) {
        return E_INVALIDARG;
    }
    WIN32_FIND_DATAW found = {};
    try {
        // The parsed path loses the final "\" of a named folder. A drive
        // root has no entry of its own, so its search fails.
        const FindHandle search(
            FindFirstFileW(Platform::asOleText(HostPath(path_).c_str()), &found));
        if (!search) {
            return E_FAIL;
        }
    } catch (...) {
        return E_FAIL; // a stored path that the host's path rules refuse
    }
    pstatstg->type = STGTY_STORAGE;
    pstatstg->cbSize.QuadPart = 0;
    pstatstg->mtime = found.ftLastWriteTime;
    pstatstg->ctime = found.ftCreationTime;
    pstatstg->atime = found.ftLastAccessTime;
    pstatstg->grfMode = grfMode_;
    pstatstg->grfLocksSupported = 0;
    pstatstg->clsid = GUID_NULL;
    pstatstg->grfStateBits = grfStateBits_;
    pstatstg->pwcsName = nullptr;
    if (grfStatFlag == STATFLAG_DEFAULT && named_) {
        pstatstg->pwcsName = ComServer::taskMemoryCopy(path_).release();
        if (pstatstg->pwcsName == nullptr) {
            return STG_E_INSUFFICIENTMEMORY;
        }
    }
    return S_OK;
}

HRESULT CTavoWinFolder::InterfaceSupportsErrorInfo(REFIID riid)
{
    static constexpr const IID* kSupported[] = {&IID_ITavoWinFolder};
    return ComServer::supportsErrorInfo(riid, kSupported);
}
