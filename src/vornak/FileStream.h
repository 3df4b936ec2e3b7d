// One handset file as an IStream, connected to an open descriptor (or to a
// path, through the port server) with ITavoEFSFile::Connect.
#pragma once

#include "vornak/ComObject.h"
#include "vornak/TypeLibrary.h"
#include "vornak/Vornak.h"

#include <span>

namespace Efs {

class FileStream final
    : public Vornak::ComObject<FileStream, ISupportErrorInfo, IConnectionPointContainer,
                               Vornak::Dispatch<ITavoEFSFile, IID_ITavoEFSFile>, IStream> {
public:
    static std::span<const Vornak::InterfaceEntry<FileStream>> interfaceTable();

    // ITavoEFSFile
    HRESULT STDMETHODCALLTYPE Connect(IUnknown* pPort, ULONG timeout, ULONG hFile, BSTR fileName,
                                      LONG createFile, ULONG targPktWin, ULONG targByteWin,
                                      ULONG hostPktWin, ULONG hostByteWin, ULONG iterPktWin,
                                      ULONG iterByteWin, ULONG fileSubsysId) override;

    // IStream
    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override;
    HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) override;
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin,
                                   ULARGE_INTEGER* plibNewPosition) override;
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER libNewSize) override;
    HRESULT STDMETHODCALLTYPE CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                                     ULARGE_INTEGER* pcbWritten) override;
    HRESULT STDMETHODCALLTYPE Commit(DWORD grfCommitFlags) override;
    HRESULT STDMETHODCALLTYPE Revert() override;
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb,
                                         DWORD dwLockType) override;
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb,
                                           DWORD dwLockType) override;
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* pstatstg, DWORD grfStatFlag) override;
    HRESULT STDMETHODCALLTYPE Clone(IStream** ppstm) override;

    // IConnectionPointContainer: the one point is for ITavoFileCopyProgress.
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

private:
    friend ComObject;
    explicit FileStream(IUnknown* outer);
    ~FileStream() override;
};

} // namespace Efs
