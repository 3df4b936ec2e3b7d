#include "vornak/FileStream.h"

#include "comserver/ErrorInfo.h"
#include "comserver/TaskMemory.h"
#include "diag/HandsetTime.h"
#include "efs/File.h"
#include "efs/ItemFile.h"
#include "platform/Bstr.h"
#include "vornak/Boundary.h"

#include <algorithm>
#include <memory>

using ComServer::InterfaceEntry;
using ComServer::interfaceEntry;

namespace Efs {

namespace {

// The stream records its own interface, also for the IStream methods, and
// gives E_FAIL for a failure that is neither a protocol nor a COM error.
constexpr ComServer::Boundary kBoundary =
    Vornak::boundary(CLSID_TavoEFSFile, IID_ITavoEFSFile, E_FAIL);

// The descriptor that asks for an item file, reached by path through the
// port server instead.
constexpr ULONG kItemFile = 0xFFFFFFFF;

// CopyTo moves data through one buffer of this size.
constexpr std::uint32_t kCopyBuffer = 65536;

HRESULT notImplemented(const char* method)
{
    return ComServer::reportNotImplemented(CLSID_TavoEFSFile, IID_ITavoEFSFile, method);
}

} // namespace

FileStream::FileStream(IUnknown* outer)
    : ComObject(outer)
    , progress_(*this, IID_ITavoFileCopyProgress)
{}

FileStream::~FileStream() = default;

std::span<const InterfaceEntry<FileStream>> FileStream::interfaceTable()
{
    static constexpr InterfaceEntry<FileStream> table[] = {
        interfaceEntry<FileStream, ITavoEFSFile>(IID_ITavoEFSFile),
        interfaceEntry<FileStream, IStream>(IID_IStream),
        interfaceEntry<FileStream, IDispatch, ITavoEFSFile>(IID_IDispatch),
        interfaceEntry<FileStream, ISupportErrorInfo>(IID_ISupportErrorInfo),
        interfaceEntry<FileStream, IConnectionPointContainer>(IID_IConnectionPointContainer),
    };
    return table;
}

// The window arguments and createFile are accepted and not used: transfers
// are never pipelined, and Stat reports every stream alike.
HRESULT FileStream::Connect(IUnknown* pPort, ULONG timeout, ULONG hFile, BSTR fileName, LONG, ULONG,
                            ULONG, ULONG, ULONG, ULONG, ULONG, ULONG fileSubsysId)
{
    const ComServer::CriticalSection::Lock lock(transfers_);
    return ComServer::guard(kBoundary, [&] {
        // Name and subsystem change even when no file object can be made.
        name_ = Platform::toU16String(fileName);
        subsysId_ = static_cast<std::uint8_t>(fileSubsysId & 0xFFu);
        Rc::Pointer<FileBase> file =
            hFile == kItemFile ? Rc::makeHeap<ItemFile, FileBase>(
                                     pPort, ItemFile::DevicePath(name_), timeout, subsysId_)
                               : Rc::makeHeap<File, FileBase>(static_cast<std::int32_t>(hFile),
                                                              pPort, timeout, subsysId_);
        // The previous file object goes, and with it its descriptor unless
        // someone else still holds it.
        file_ = std::move(file);
        return S_OK;
    });
}

HRESULT FileStream::Read(void* pv, ULONG cb, ULONG* pcbRead)
{
    if (pv == nullptr) {
        return E_POINTER;
    }
    const ComServer::CriticalSection::Lock lock(transfers_);
    return ComServer::guard(kBoundary, [&] {
        const std::uint32_t got = file_->Read(static_cast<std::uint8_t*>(pv), cb);
        if (pcbRead != nullptr) {
            *pcbRead = got;
        }
        return S_OK;
    });
}

HRESULT FileStream::Write(const void* pv, ULONG cb, ULONG* pcbWritten)
{
    if (pv == nullptr) {
        return E_POINTER;
    }
    const ComServer::CriticalSection::Lock lock(transfers_);
    return ComServer::guard(kBoundary, [&] {
        const std::uint32_t put = file_->Write(static_cast<const std::uint8_t*>(pv), cb, this);
        if (pcbWritten != nullptr) {
            *pcbWritten = put;
        }
        return S_OK;
    });
}

HRESULT FileStream::Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition)
{
    const ComServer::CriticalSection::Lock lock(transfers_);
    return ComServer::guard(kBoundary, [&] {
        // Handset files are 32-bit: the high part of the move is ignored.
        const std::uint32_t position = file_->Seek(dlibMove.u.LowPart, dwOrigin);
        if (plibNewPosition != nullptr) {
            plibNewPosition->QuadPart = position;
        }
        return S_OK;
    });
}

HRESULT FileStream::SetSize(ULARGE_INTEGER)
{
    return notImplemented("IStream::SetSize");
}

HRESULT FileStream::CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                           ULARGE_INTEGER* pcbWritten)
{
    if (pstm == nullptr) {
        return E_POINTER;
    }
    const ComServer::CriticalSection::Lock lock(transfers_);
    return ComServer::guard(kBoundary, [&] {
        const std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[kCopyBuffer]);
        std::uint32_t remaining = cb.u.LowPart;
        std::uint32_t totalRead = 0;
        std::uint32_t totalWritten = 0;
        std::uint32_t got = 0;
        do {
            got = file_->Read(buffer.get(), std::min(remaining, kCopyBuffer));
            // The destination's result does not stop the copy; what it says
            // it wrote is counted, up to what it was given.
            ULONG written = 0;
            pstm->Write(buffer.get(), got, &written);
            totalWritten += std::min<std::uint32_t>(written, got);
            totalRead += got;
            remaining -= got;
        } while (got == kCopyBuffer && remaining != 0);
        if (pcbRead != nullptr) {
            pcbRead->QuadPart = totalRead;
        }
        if (pcbWritten != nullptr) {
            pcbWritten->QuadPart = totalWritten;
        }
        return S_OK;
    });
}

HRESULT FileStream::Commit(DWORD)
{
    return notImplemented("IStream::Commit");
}

HRESULT FileStream::Revert()
{
    return notImplemented("IStream::Revert");
}

HRESULT FileStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD)
{
    return notImplemented("IStream::LockRegion");
}

HRESULT FileStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD)
{
    return notImplemented("IStream::UnlockRegion");
}

HRESULT FileStream::Stat(STATSTG* pstatstg, DWORD grfStatFlag)
{
    if (pstatstg == nullptr) {
        return E_INVALIDARG;
    }
    const ComServer::CriticalSection::Lock lock(transfers_);
    return ComServer::guard(kBoundary, [&] {
        std::uint32_t mode = 0, size = 0, nlink = 0, atime = 0, mtime = 0, ctime = 0;
        file_->Stat(&mode, &size, &nlink, &atime, &mtime, &ctime);
        pstatstg->type = STGTY_STREAM;
        pstatstg->cbSize.QuadPart = size;
        pstatstg->mtime = Diag::Efs2::fileTimeOf(mtime);
        pstatstg->ctime = Diag::Efs2::fileTimeOf(ctime);
        pstatstg->atime = Diag::Efs2::fileTimeOf(atime);
        pstatstg->grfMode = STGM_SHARE_EXCLUSIVE;
        pstatstg->grfLocksSupported = LOCK_EXCLUSIVE;
        pstatstg->clsid = CLSID_NULL;
        pstatstg->grfStateBits = 0;
        pstatstg->reserved = 0;
        if ((grfStatFlag & STATFLAG_NONAME) != 0) {
            return S_OK;
        }
        pstatstg->pwcsName = ComServer::taskMemoryCopy(name_).release();
        return pstatstg->pwcsName != nullptr ? S_OK : STG_E_INSUFFICIENTMEMORY;
    });
}

HRESULT FileStream::Clone(IStream**)
{
    return notImplemented("IStream::Clone");
}

HRESULT FileStream::EnumConnectionPoints(IEnumConnectionPoints** ppEnum)
{
    const Platform::ComPtr<IConnectionPoint> point(&progress_);
    return ComServer::EnumConnectionPoints::create(nullptr, IID_IEnumConnectionPoints,
                                                   reinterpret_cast<void**>(ppEnum),
                                                   std::span(&point, 1), std::size_t{0});
}

HRESULT FileStream::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP)
{
    if (ppCP == nullptr) {
        return E_POINTER;
    }
    if (!IsEqualIID(riid, IID_ITavoFileCopyProgress)) {
        *ppCP = nullptr;
        return CONNECT_E_NOCONNECTION;
    }
    progress_.AddRef();
    *ppCP = &progress_;
    return S_OK;
}

HRESULT FileStream::InterfaceSupportsErrorInfo(REFIID riid)
{
    static constexpr const IID* kSupported[] = {&IID_ITavoEFSFile, &IID_IStream};
    return ComServer::supportsErrorInfo(riid, kSupported);
}

void FileStream::FileWriteProgress(std::uint32_t bytesSoFar, std::uint32_t bytesTotal,
                                   std::uint32_t threadId)
{
    // What the sinks answer does not change the write.
    progress_.forEachSink<ITavoFileCopyProgress>([&](ITavoFileCopyProgress& sink) {
        sink.FileWriteEvent(bytesSoFar, bytesTotal, threadId);
    });
}

void FileStream::FileReadProgress(std::uint32_t, std::uint32_t, std::uint32_t) {}

} // namespace Efs
