// One handset file as an IStream, connected to an open descriptor (or to a
// path, through the port server) with ITavoEFSFile::Connect.
#pragma once

#include "comserver/ComObject.h"
#include "comserver/ConnectionPoints.h"
#include "comserver/CriticalSection.h"
#include "comserver/DualDispatch.h"
#include "efs/EFSFileProgress.h"
#include "efs/FileBase.h"
#include "mem/RefCount.h"
#include "vornak/Vornak.h"

#include <cstdint>
#include <span>
#include <string>

namespace Efs {

// Every transfer goes to one device file object; the writes report each
// packet to the sinks advised on the ITavoFileCopyProgress connection point.
class FileStream final
    : public ComServer::ComObject<FileStream, ISupportErrorInfo, IConnectionPointContainer,
                                  ComServer::DualDispatch<ITavoEFSFile, IID_ITavoEFSFile>, IStream>,
      private Marl::Efs::EFSFileProgress {
public:
    static std::span<const ComServer::InterfaceEntry<FileStream>> interfaceTable();

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

    // The device file's progress: every packet written becomes a
    // FileWriteEvent on the writing thread; reads are not reported.
    void FileWriteProgress(std::uint32_t bytesSoFar, std::uint32_t bytesTotal,
                           std::uint32_t threadId) override;
    void FileReadProgress(std::uint32_t bytesSoFar, std::uint32_t bytesTotal,
                          std::uint32_t threadId) override;

    // Held by Connect and every transfer: the device file's position and
    // the file object itself belong to one call at a time. It is held while
    // the sinks hear of a packet written, on the writing thread, which may
    // call the stream again.
    ComServer::CriticalSection transfers_;
    // Null until a Connect succeeds.
    Rc::Pointer<FileBase> file_;
    // The file name exactly as the last Connect gave it.
    std::u16string name_;
    std::uint8_t subsysId_ = 0;
    ComServer::ConnectionPoint progress_;
};

} // namespace Efs
