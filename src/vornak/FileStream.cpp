#include "vornak/FileStream.h"

#include "vornak/ErrorInfo.h"

using Vornak::InterfaceEntry;
using Vornak::interfaceEntry;

namespace Efs {

namespace {

// The stream records its own interface, also for the IStream methods, and
// gives E_FAIL for a failure that is neither a protocol nor a COM error.
[[maybe_unused]] constexpr Vornak::Boundary kBoundary = {&CLSID_TavoEFSFile, &IID_ITavoEFSFile,
                                                         E_FAIL};

HRESULT notImplemented(const char* method)
{
    return Vornak::reportNotImplemented(CLSID_TavoEFSFile, IID_ITavoEFSFile, method);
}

} // namespace

FileStream::FileStream(IUnknown* outer)
    : ComObject(outer)
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

HRESULT FileStream::Connect(IUnknown*, ULONG, ULONG, BSTR, LONG, ULONG, ULONG, ULONG, ULONG, ULONG,
                            ULONG, ULONG)
{
    return E_NOTIMPL; // comes with the device file objects
}

HRESULT FileStream::Read(void*, ULONG, ULONG*)
{
    return E_NOTIMPL;
}

HRESULT FileStream::Write(const void*, ULONG, ULONG*)
{
    return E_NOTIMPL;
}

HRESULT FileStream::Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*)
{
    return E_NOTIMPL;
}

HRESULT FileStream::SetSize(ULARGE_INTEGER)
{
    return notImplemented("IStream::SetSize");
}

HRESULT FileStream::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*)
{
    return E_NOTIMPL;
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

HRESULT FileStream::Stat(STATSTG*, DWORD)
{
    return E_NOTIMPL;
}

HRESULT FileStream::Clone(IStream**)
{
    return notImplemented("IStream::Clone");
}

HRESULT FileStream::EnumConnectionPoints(IEnumConnectionPoints**)
{
    return E_NOTIMPL; // comes with the progress sinks
}

HRESULT FileStream::FindConnectionPoint(REFIID, IConnectionPoint**)
{
    return E_NOTIMPL;
}

HRESULT FileStream::InterfaceSupportsErrorInfo(REFIID riid)
{
    static constexpr const IID* kSupported[] = {&IID_ITavoEFSFile, &IID_IStream};
    return Vornak::supportsErrorInfo(riid, kSupported);
}

} // namespace Efs
