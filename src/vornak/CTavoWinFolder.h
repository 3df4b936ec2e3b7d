// A directory of the host computer as an IStorage: the usual destination of
// handset files copied to the computer, and the source of host files copied
// to the handset.
#pragma once

#include "comserver/ComObject.h"
#include "comserver/ConnectionPoints.h"
#include "comserver/CriticalSection.h"
#include "comserver/DualDispatch.h"
#include "vornak/Vornak.h"

#include <cstdint>
#include <span>
#include <string>

class CTavoWinFolder final
    : public ComServer::ComObject<CTavoWinFolder, ISupportErrorInfo, ComServer::NoConnectionPoints,
                                  ComServer::DualDispatch<ITavoWinFolder, IID_ITavoWinFolder>,
                                  IStorage> {
public:
    static std::span<const ComServer::InterfaceEntry<CTavoWinFolder>> interfaceTable();

    // ITavoWinFolder
    HRESULT STDMETHODCALLTYPE get_path(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE Close() override;
    HRESULT STDMETHODCALLTYPE OpenRelPath(BSTR path, ULONG grfMode) override;
    HRESULT STDMETHODCALLTYPE OpenAbsPath(BSTR path, ULONG grfMode) override;

    // IStorage
    HRESULT STDMETHODCALLTYPE CreateStream(LPCOLESTR pwcsName, DWORD grfMode, DWORD reserved1,
                                           DWORD reserved2, IStream** ppstm) override;
    HRESULT STDMETHODCALLTYPE OpenStream(LPCOLESTR pwcsName, void* reserved1, DWORD grfMode,
                                         DWORD reserved2, IStream** ppstm) override;
    HRESULT STDMETHODCALLTYPE CreateStorage(LPCOLESTR pwcsName, DWORD grfMode, DWORD reserved1,
                                            DWORD reserved2, IStorage** ppstg) override;
    HRESULT STDMETHODCALLTYPE OpenStorage(LPCOLESTR pwcsName, IStorage* pstgPriority, DWORD grfMode,
                                          SNB snbExclude, DWORD reserved,
                                          IStorage** ppstg) override;
    HRESULT STDMETHODCALLTYPE CopyTo(DWORD ciidExclude, const IID* rgiidExclude, SNB snbExclude,
                                     IStorage* pstgDest) override;
    HRESULT STDMETHODCALLTYPE MoveElementTo(LPCOLESTR pwcsName, IStorage* pstgDest,
                                            LPCOLESTR pwcsNewName, DWORD grfFlags) override;
    HRESULT STDMETHODCALLTYPE Commit(DWORD grfCommitFlags) override;
    HRESULT STDMETHODCALLTYPE Revert() override;
    HRESULT STDMETHODCALLTYPE EnumElements(DWORD reserved1, void* reserved2, DWORD reserved3,
                                           IEnumSTATSTG** ppenum) override;
    HRESULT STDMETHODCALLTYPE DestroyElement(LPCOLESTR pwcsName) override;
    HRESULT STDMETHODCALLTYPE RenameElement(LPCOLESTR pwcsOldName, LPCOLESTR pwcsNewName) override;
    HRESULT STDMETHODCALLTYPE SetElementTimes(LPCOLESTR pwcsName, const FILETIME* pctime,
                                              const FILETIME* patime,
                                              const FILETIME* pmtime) override;
    HRESULT STDMETHODCALLTYPE SetClass(REFCLSID clsid) override;
    HRESULT STDMETHODCALLTYPE SetStateBits(DWORD grfStateBits, DWORD grfMask) override;
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* pstatstg, DWORD grfStatFlag) override;

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

private:
    friend ComObject;
    explicit CTavoWinFolder(IUnknown* outer);
    ~CTavoWinFolder() override;

    // OpenRelPath and OpenAbsPath: opens `path` when it names a directory;
    // a named folder keeps it with its final "\".
    HRESULT open(BSTR path, ULONG grfMode, bool named);

    // Held by every call that reads or changes the state below, so that an
    // open, a close and a Stat on several threads each see it whole.
    ComServer::CriticalSection section_;
    bool open_ = false;
    // Opened with OpenAbsPath: Stat names the folder.
    bool named_ = false;
    // The directory as the last open stored it.
    std::u16string path_;
    std::uint32_t grfMode_ = STGM_SHARE_EXCLUSIVE;
    std::uint32_t grfStateBits_ = 0;
};
