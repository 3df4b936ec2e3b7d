// One directory of the handset: connected to a diagnostic port with Connect,
// its elements reached through IStorage. It keeps the four connection values
// and no handle on the handset between calls. Each call works with the
// connection as it stands when the call begins: a Connect on another thread
// changes only the calls that begin after it.
#pragma once

#include "comserver/ComObject.h"
#include "comserver/ConnectionPoints.h"
#include "comserver/DualDispatch.h"
#include "diag/PortInterfaces.h"
#include "platform/ComPtr.h"
#include "vornak/Vornak.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

class CTavoEFSFolder final
    : public ComServer::ComObject<CTavoEFSFolder,
                                  ComServer::DualDispatch<ITavoEFSFolder, IID_ITavoEFSFolder>,
                                  IStorage, ISupportErrorInfo, ComServer::NoConnectionPoints> {
public:
    static std::span<const ComServer::InterfaceEntry<CTavoEFSFolder>> interfaceTable();

    // ITavoEFSFolder
    HRESULT STDMETHODCALLTYPE Connect(IUnknown* pPort, ULONG nTimeout, BSTR path,
                                      ULONG fileSubsysId) override;
    HRESULT STDMETHODCALLTYPE get_path(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE RecursiveDirList(IUnknown** ppenum) override;

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
    explicit CTavoEFSFolder(IUnknown* outer);
    ~CTavoEFSFolder() override;

    // What Connect gives, never changed once made.
    struct Connection {
        // Null until Connect, and after a Connect with an object that is no port.
        Platform::ComPtr<IDiagPort> port;
        std::uint32_t timeout = 0;
        // The handset directory exactly as given to Connect.
        std::u16string path;
        std::uint8_t fileSubsysId = 0;

        // The port of every command; _com_error(E_POINTER) while there is none.
        IUnknown* connectedPort() const;
    };
    using ConnectionPtr = std::shared_ptr<const Connection>;

    // Adds every element below the connection's path to `filling`, breadth first.
    static void addTree(const Connection& connection, ITavoEFSEnum& filling);
    // CreateStream and OpenStream: the stream of the element `name`, opened
    // for writing (emptied) when `create` is set, else for reading.
    HRESULT openStream(LPCOLESTR name, bool create, IStream** ppstm);
    // A new folder for the handset directory `path`, on the connection's port.
    static HRESULT newFolder(const Connection& connection, const std::u16string& path,
                             IStorage** ppstg);
    HRESULT moveElement(LPCOLESTR name, IStorage* destination, LPCOLESTR newName);
    HRESULT copyElement(LPCOLESTR name, IStorage* destination, LPCOLESTR newName);

    std::atomic<ConnectionPtr> connection_ = std::make_shared<const Connection>();
};
