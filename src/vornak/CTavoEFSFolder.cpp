#include "vornak/CTavoEFSFolder.h"

#include "comserver/ErrorInfo.h"
#include "diag/CEFSException.h"
#include "diag/DeviceError.h"
#include "diag/EFSLStat.h"
#include "diag/EFSMkDir.h"
#include "diag/EFSRename.h"
#include "diag/EFSRmDir.h"
#include "diag/EFSUnlink.h"
#include "diag/Efs2.h"
#include "efs/EFSDir.h"
#include "efs/File.h"
#include "lang/Exception.h"
#include "lang/Transcode.h"
#include "mem/RefCount.h"
#include "platform/Bstr.h"
#include "platform/ComError.h"
#include "vornak/Boundary.h"
#include "vornak/ClassTable.h"

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

using ComServer::InterfaceEntry;
using ComServer::interfaceEntry;
using Marl::Common::EfsReadDirEntry;
using Platform::Bstr;
using Platform::ComPtr;

namespace {

// The methods that reach the handset (the element operations and the
// recursive listing) report for IStorage; Connect for the folder's own
// interface.
constexpr ComServer::Boundary kBoundary =
    Vornak::boundary(CLSID_TavoEFSFolder, IID_IStorage, VORNAK_E_UNEXPECTED);
constexpr ComServer::Boundary kConnectBoundary =
    Vornak::boundary(CLSID_TavoEFSFolder, IID_ITavoEFSFolder, VORNAK_E_UNEXPECTED);

constexpr std::uint16_t kDirectoryMode = 0666;

// The folder's unsupported methods record the file stream's interface, not
// IStorage, in their error information.
HRESULT notImplemented(const char* method)
{
    return ComServer::reportNotImplemented(CLSID_TavoEFSFolder, IID_ITavoEFSFile, method);
}

// The handset path of the element `name` of the directory `directory`: one
// "/" between them unless either side already has it. Nothing else is
// normalised: "/a/" and "/b" give "/a//b", and an empty directory gives the
// name alone.
std::u16string elementPath(std::u16string_view directory, std::u16string_view name)
{
    std::u16string path(directory);
    if (!directory.empty() && directory.back() != u'/' && (name.empty() || name.front() != u'/')) {
        path += u'/';
    }
    path += name;
    return path;
}

// The name under which the recursive listing opens a directory. The handset
// opens its root as the empty name, and the "zarn" tree only without the
// leading "/" (a plain prefix test, so "/zarnx" loses it too).
std::u16string openingName(const std::u16string& directory)
{
    if (directory == u"/") {
        return std::u16string();
    }
    if (directory.starts_with(u"/zarn")) {
        return directory.substr(1);
    }
    return directory;
}

// Open failures of a directory below the listing's root that the listing
// passes over: the handset's ENOENT and a failed port call.
bool isForgivenOpenFailure(const std::u16string& directory, const CEFSException& e)
{
    return directory == u"/nvm" || e.IsDeviceError(Diag::Efs2::kNoEntry) ||
           e.GetCode() == EFSERR_PORT_COM;
}

void addEntry(ITavoEFSEnum& filling, const std::u16string& name, const EfsReadDirEntry& entry)
{
    const Bstr text(name);
    Platform::throwIfFailed(filling.AddEntry(text.get(), entry.type(), entry.mode(), entry.size(),
                                             entry.accessTime(), entry.modificationTime(),
                                             entry.creationTime()),
                            &filling, IID_ITavoEFSEnum);
}

// A new, empty enumerator: its IEnumSTATSTG for the client and its
// ITavoEFSEnum for filling.
ComPtr<IEnumSTATSTG> newEnumerator(ComPtr<ITavoEFSEnum>& filling)
{
    ComPtr<IEnumSTATSTG> reading;
    Vornak::createRunningObject(CLSID_TavoEFSEnum, IID_IEnumSTATSTG, reading.putVoid());
    filling = Platform::queryInterface<ITavoEFSEnum>(reading.get(), IID_ITavoEFSEnum);
    return reading;
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
    return ComServer::guard(kConnectBoundary, [&] {
        // An object that is no port leaves the folder without one: every
        // later operation that reaches the handset then fails.
        auto connection = std::make_shared<Connection>();
        connection->port = Diag::Efs::diagPortOf(pPort);
        connection->timeout = nTimeout;
        connection->path = Platform::toU16String(path);
        connection->fileSubsysId = static_cast<std::uint8_t>(fileSubsysId & 0xFFu);
        connection_.store(std::move(connection));
        return S_OK;
    });
}

HRESULT CTavoEFSFolder::get_path(BSTR* pVal)
{
    if (pVal == nullptr) {
        return E_POINTER;
    }
    const ConnectionPtr c = connection_.load();
    const std::u16string& path = c->path;
    BSTR copy =
        SysAllocStringLen(Platform::asOleText(path.c_str()), static_cast<UINT>(path.size()));
    if (copy == nullptr) {
        return E_OUTOFMEMORY;
    }
    *pVal = copy;
    return S_OK;
}

HRESULT CTavoEFSFolder::RecursiveDirList(IUnknown** ppenum)
{
    if (ppenum == nullptr) {
        return E_POINTER;
    }
    return ComServer::guard(kBoundary, [&] {
        const ConnectionPtr c = connection_.load();
        c->connectedPort(); // nothing is made for a folder without a port
        ComPtr<ITavoEFSEnum> filling;
        ComPtr<IEnumSTATSTG> reading = newEnumerator(filling);
        addTree(*c, *filling.get());
        Platform::throwIfFailed(filling->AddEntryEnd(), filling.get(), IID_ITavoEFSEnum);
        *ppenum = reading.detach();
        return S_OK;
    });
}

IUnknown* CTavoEFSFolder::Connection::connectedPort() const
{
    if (!port) {
        throw _com_error(E_POINTER);
    }
    return port.get();
}

void CTavoEFSFolder::addTree(const Connection& connection, ITavoEFSEnum& filling)
{
    const std::u16string& root = connection.path;
    // Breadth first: directories are visited in the order they were found,
    // each one's entries in the handset's order.
    std::vector<std::u16string> directories{root};
    for (std::size_t next = 0; next < directories.size(); ++next) {
        const std::u16string directory = directories[next];
        std::optional<EFSDir> reader;
        try {
            reader.emplace(connection.port.get(), connection.timeout, connection.fileSubsysId);
            reader->OpenDir(openingName(directory));
        } catch (const CEFSException& e) {
            const bool isRoot = directory == root || u"/" + directory == root;
            if (!isRoot && isForgivenOpenFailure(directory, e)) {
                continue;
            }
            throw CEFSException(Lang::Platform::transcode(directory).c_str(), e);
        } catch (const Lang::Exception&) {
            continue;
        }
        // A failure to read entries ends the listing: its entries would be
        // missing without a word.
        for (const EfsReadDirEntry& entry : reader->ReadAll()) {
            // A directory named "." or ".." would send the walk round in
            // circles; every other entry the handset lists is passed on.
            if (entry.type() == EfsReadDirEntry::kTypeDirectory && entry.namesSelfOrParent()) {
                continue;
            }
            try {
                std::u16string name = elementPath(directory, entry.name());
                if (entry.type() == EfsReadDirEntry::kTypeDirectory) {
                    directories.push_back(name);
                }
                name += u'\n';
                OutputDebugStringW(Platform::asOleText(name.c_str()));
                name.pop_back();
                addEntry(filling, name, entry);
            } catch (const Lang::Exception&) {
                // This entry is lost; the others still count.
            } catch (const _com_error&) {
            }
        }
    }
}

HRESULT CTavoEFSFolder::CreateStream(LPCOLESTR pwcsName, DWORD, DWORD, DWORD, IStream** ppstm)
{
    return openStream(pwcsName, true, ppstm);
}

HRESULT CTavoEFSFolder::OpenStream(LPCOLESTR pwcsName, void*, DWORD, DWORD, IStream** ppstm)
{
    return openStream(pwcsName, false, ppstm);
}

HRESULT CTavoEFSFolder::openStream(LPCOLESTR name, bool create, IStream** ppstm)
{
    if (ppstm == nullptr || name == nullptr) {
        return E_POINTER;
    }
    return ComServer::guard(kBoundary, [&] {
        const ConnectionPtr c = connection_.load();
        IUnknown* port = c->connectedPort();
        // Whatever the client's mode, a created stream is write-only and
        // emptied, an opened one read-only.
        const std::uint32_t flags =
            create ? Diag::Efs2::kOpenCreateForWriting : Diag::Efs2::kOpenReadOnly;
        const std::uint32_t mode = create ? Diag::Efs2::kModeReadWrite : Diag::Efs2::kModeReadOnly;
        const std::u16string given = Platform::toU16String(name);
        // The descriptor is closed on the handset again unless the stream
        // takes it over.
        const Rc::Pointer<Efs::File> opened =
            Rc::makeHeap<Efs::File>(c->port, c->timeout, c->fileSubsysId);
        opened->Open(elementPath(c->path, given), flags, mode);

        ComPtr<ITavoEFSFile> file;
        Vornak::createRunningObject(CLSID_TavoEFSFile, IID_ITavoEFSFile, file.putVoid());
        const HRESULT hr =
            file->Connect(port, c->timeout, static_cast<ULONG>(opened->descriptor()),
                          Bstr(given).get(), create ? 1 : 0, 0, 0, 0, 0, 0, 0, c->fileSubsysId);
        Platform::throwIfFailed(hr, file.get(), IID_ITavoEFSFile);
        opened->Detach();
        Platform::throwIfFailed(file->QueryInterface(IID_IStream, reinterpret_cast<void**>(ppstm)));
        return hr;
    });
}

HRESULT CTavoEFSFolder::newFolder(const Connection& connection, const std::u16string& path,
                                  IStorage** ppstg)
{
    ComPtr<ITavoEFSFolder> folder;
    Vornak::createRunningObject(CLSID_TavoEFSFolder, IID_ITavoEFSFolder, folder.putVoid());
    const HRESULT hr = folder->Connect(connection.connectedPort(), connection.timeout,
                                       Bstr(path).get(), connection.fileSubsysId);
    Platform::throwIfFailed(hr, folder.get(), IID_ITavoEFSFolder);
    Platform::throwIfFailed(folder->QueryInterface(IID_IStorage, reinterpret_cast<void**>(ppstg)));
    return hr;
}

HRESULT CTavoEFSFolder::CreateStorage(LPCOLESTR pwcsName, DWORD, DWORD, DWORD, IStorage** ppstg)
{
    if (ppstg == nullptr || pwcsName == nullptr) {
        return E_POINTER;
    }
    return ComServer::guard(kBoundary, [&] {
        const ConnectionPtr c = connection_.load();
        const std::u16string path = elementPath(c->path, Platform::asUtf16(pwcsName));
        CEFSMkDir(c->connectedPort(), c->timeout, c->fileSubsysId).Execute(path, kDirectoryMode);
        return newFolder(*c, path, ppstg);
    });
}

HRESULT CTavoEFSFolder::OpenStorage(LPCOLESTR pwcsName, IStorage*, DWORD, SNB, DWORD,
                                    IStorage** ppstg)
{
    if (ppstg == nullptr || pwcsName == nullptr) {
        return E_POINTER;
    }
    return ComServer::guard(kBoundary, [&] {
        const ConnectionPtr c = connection_.load();
        const std::u16string path = elementPath(c->path, Platform::asUtf16(pwcsName));
        // Only to fail for a name the handset does not know: a file opens as
        // a storage as well as a directory does.
        std::uint32_t mode = 0, atime = 0, mtime = 0, ctime = 0;
        EFSLStat(c->connectedPort(), c->timeout, c->fileSubsysId)
            .Execute(path, mode, atime, mtime, ctime);
        return newFolder(*c, path, ppstg);
    });
}

HRESULT CTavoEFSFolder::CopyTo(DWORD, const IID*, SNB, IStorage*)
{
    return S_OK; // copies go element by element, through MoveElementTo
}

HRESULT CTavoEFSFolder::MoveElementTo(LPCOLESTR pwcsName, IStorage* pstgDest, LPCOLESTR pwcsNewName,
                                      DWORD grfFlags)
{
    if (pwcsName == nullptr || pstgDest == nullptr || pwcsNewName == nullptr) {
        return E_POINTER;
    }
    switch (grfFlags) {
    case STGMOVE_MOVE:
        return ComServer::guard(kBoundary,
                                [&] { return moveElement(pwcsName, pstgDest, pwcsNewName); });
    case STGMOVE_COPY:
        return copyElement(pwcsName, pstgDest, pwcsNewName);
    default:
        return E_FAIL;
    }
}

HRESULT CTavoEFSFolder::moveElement(LPCOLESTR name, IStorage* destination, LPCOLESTR newName)
{
    // A move is one RENAME on the handset, so the destination must be a
    // folder of the same handset; this folder's port carries it.
    ComPtr<ITavoEFSFolder> folder;
    if (FAILED(Platform::queryInterfaceNoThrow(destination, IID_ITavoEFSFolder, folder))) {
        throw _com_error(STG_E_INVALIDPARAMETER);
    }
    const ConnectionPtr c = connection_.load();
    IUnknown* port = c->connectedPort();
    Bstr directory;
    Platform::throwIfFailed(folder->get_path(directory.put()), folder.get(), IID_ITavoEFSFolder);
    CEFSRename(port, c->timeout, c->fileSubsysId)
        .Execute(elementPath(c->path, Platform::asUtf16(name)),
                 elementPath(directory.text(), Platform::asUtf16(newName)));
    return S_OK;
}

HRESULT CTavoEFSFolder::copyElement(LPCOLESTR name, IStorage* destination, LPCOLESTR newName)
{
    // Each call reports its own failure; the copy passes the first one on.
    // A source that cannot be opened leaves the destination behind, empty.
    ComPtr<IStream> target;
    HRESULT hr = destination->CreateStream(newName, 0, 0, 0, target.put());
    if (FAILED(hr)) {
        return hr;
    }
    ComPtr<IStream> source;
    hr = OpenStream(name, nullptr, 0, 0, source.put());
    if (FAILED(hr)) {
        return hr;
    }
    STATSTG stat = {};
    hr = source->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(hr)) {
        return hr;
    }
    return source->CopyTo(target.get(), stat.cbSize, nullptr, nullptr);
}

HRESULT CTavoEFSFolder::Commit(DWORD)
{
    return notImplemented("IStorage::Commit");
}

HRESULT CTavoEFSFolder::Revert()
{
    return notImplemented("IStorage::Revert");
}

HRESULT CTavoEFSFolder::EnumElements(DWORD, void*, DWORD, IEnumSTATSTG** ppenum)
{
    if (ppenum == nullptr) {
        return E_POINTER;
    }
    return ComServer::guard(kBoundary, [&] {
        const ConnectionPtr c = connection_.load();
        IUnknown* port = c->connectedPort();
        ComPtr<ITavoEFSEnum> filling;
        ComPtr<IEnumSTATSTG> reading = newEnumerator(filling);
        // The folder's own path, as it stands: "/" is the root here.
        EFSDir reader(port, c->timeout, c->fileSubsysId);
        reader.OpenDir(c->path);
        for (const EfsReadDirEntry& entry : reader.ReadAll()) {
            addEntry(*filling.get(), entry.name(), entry);
        }
        Platform::throwIfFailed(filling->AddEntryEnd(), filling.get(), IID_ITavoEFSEnum);
        *ppenum = reading.detach();
        return S_OK;
    });
}

HRESULT CTavoEFSFolder::DestroyElement(LPCOLESTR pwcsName)
{
    if (pwcsName == nullptr) {
        return E_POINTER;
    }
    return ComServer::guard(kBoundary, [&] {
        const ConnectionPtr c = connection_.load();
        IUnknown* port = c->connectedPort();
        const std::u16string path = elementPath(c->path, Platform::asUtf16(pwcsName));
        std::uint32_t mode = 0, atime = 0, mtime = 0, ctime = 0;
        EFSLStat(port, c->timeout, c->fileSubsysId).Execute(path, mode, atime, mtime, ctime);
        // Nothing is removed recursively: the handset refuses a directory
        // that still has entries.
        if (Diag::Efs2::isDirectoryMode(mode)) {
            Diag::Efs::Commands::RmDir(port, c->timeout, c->fileSubsysId).Execute(path);
        } else {
            EFSUnlink(port, c->timeout, c->fileSubsysId).Execute(path);
        }
        return S_OK;
    });
}

HRESULT CTavoEFSFolder::RenameElement(LPCOLESTR pwcsOldName, LPCOLESTR pwcsNewName)
{
    if (pwcsOldName == nullptr || pwcsNewName == nullptr) {
        return E_POINTER;
    }
    return ComServer::guard(kBoundary, [&] {
        const ConnectionPtr c = connection_.load();
        CEFSRename(c->connectedPort(), c->timeout, c->fileSubsysId)
            .Execute(elementPath(c->path, Platform::asUtf16(pwcsOldName)),
                     elementPath(c->path, Platform::asUtf16(pwcsNewName)));
        return S_OK;
    });
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
    return S_OK; // a handset directory has nothing to tell beyond its path
}

HRESULT CTavoEFSFolder::InterfaceSupportsErrorInfo(REFIID riid)
{
    static constexpr const IID* kSupported[] = {&IID_ITavoEFSFolder, &IID_IStorage};
    return ComServer::supportsErrorInfo(riid, kSupported);
}
