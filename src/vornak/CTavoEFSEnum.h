// A list of handset directory entries: filled through ITavoEFSEnum, closed
// once with AddEntryEnd, then read as STATSTG records through IEnumSTATSTG.
#pragma once

#include "comserver/ComObject.h"
#include "comserver/CriticalSection.h"
#include "comserver/DualDispatch.h"
#include "diag/EfsReadDirEntry.h"
#include "vornak/Vornak.h"

#include <cstdint>
#include <span>
#include <vector>

class CTavoEFSEnum final
    : public ComServer::ComObject<CTavoEFSEnum,
                                  ComServer::DualDispatch<ITavoEFSEnum, IID_ITavoEFSEnum>,
                                  IEnumSTATSTG, ISupportErrorInfo> {
public:
    static std::span<const ComServer::InterfaceEntry<CTavoEFSEnum>> interfaceTable();

    // Help contexts of the errors of a call in the wrong phase or with an
    // index out of range, reported as VORNAK_E_HANDSET for IID_IEnumSTATSTG.
    static constexpr DWORD kReadWhileFilling = 529;
    static constexpr DWORD kFillWhenClosed = 531;
    static constexpr DWORD kIndexOutOfRange = 532;

    // ITavoEFSEnum: filling (until AddEntryEnd), then reading by index.
    HRESULT STDMETHODCALLTYPE AddEntry(BSTR name, ULONG ftype, ULONG fmode, ULONG fsize,
                                       ULONG atime, ULONG mtime, ULONG ctime) override;
    HRESULT STDMETHODCALLTYPE AddEntryEnd() override;
    HRESULT STDMETHODCALLTYPE SetIndex(ULONG i) override;
    HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE GetEntry(ULONG index, BSTR* pName, ULONG* ftype, ULONG* fmode,
                                       ULONG* fsize, ULONG* atime, ULONG* mtime,
                                       ULONG* ctime) override;

    // IEnumSTATSTG: reading from the cursor on, once closed.
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, STATSTG* rgelt, ULONG* pceltFetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumSTATSTG** ppenum) override;

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

private:
    friend ComObject;
    explicit CTavoEFSEnum(IUnknown* outer);
    ~CTavoEFSEnum() override;

    std::uint32_t count() const { return static_cast<std::uint32_t>(entries_.size()); }
    HRESULT phaseError(DWORD helpContext) const;

    // Every call holds it: callers on several threads fill, read and move the
    // cursor one at a time, so each entry Next hands out goes to one of them.
    ComServer::CriticalSection section_;
    std::uint32_t cursor_ = 0;
    bool closed_ = false;
    std::vector<Marl::Common::EfsReadDirEntry> entries_;
};
