// What the storage tests share: an emulated handset behind a port that the
// test watches, a fixture that checks the handset is left with nothing open,
// a progress sink that counts its events, and a folder of the host.
#pragma once

#include "com/ComTest.h"
#include "diag/Efs2.h"
#include "diag/ReservedSlots.h"
#include "emulator/Fault.h"
#include "emulator/Handset.h"
#include "platform/ComBase.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace StorageTest {

using Command = Diag::Efs2::Command;
using Bytes = std::vector<std::uint8_t>;

// The emulated handset's port, watched: it records every request, lets a
// request of a command for a chosen path meet a fault, and can refuse a
// query for IDiagPort.
class WatchedPort final : public Platform::ComBase<WatchedPort, IDiagPort> {
public:
    struct Request {
        std::uint16_t command;
        std::vector<std::string> paths; // as sent; two for RENAME
        Bytes bytes;
        std::uint32_t field32(std::size_t offset) const;
    };

    explicit WatchedPort(std::shared_ptr<Emulator::Handset> handset);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    void* interfaceFor(REFIID iid);
    VORNAK_RESERVED_SLOT(1)
    VORNAK_RESERVED_SLOT(2)
    VORNAK_RESERVED_SLOT(3)
    HRESULT STDMETHODCALLTYPE SendRequest(ULONG requestLength, const BYTE* request, ULONG constant1,
                                          ULONG constant0, ULONG timeout, USHORT* responseLength,
                                          BYTE* response) override;

    // The next request of `command` for `path` meets `fault`.
    void failOn(Command command, std::string path, const Emulator::Fault& fault);
    // The `nth` query for IDiagPort from now on (1 is the next) answers `hr`.
    void refuseQuery(int nth, HRESULT hr);

    std::vector<Request> requests;
    std::vector<std::uint16_t> commands() const;
    // The first path of each request of `command`.
    std::vector<std::string> paths(Command command) const;

private:
    std::shared_ptr<Emulator::Handset> handset_;
    Platform::ComPtr<IDiagPort> inner_;
    std::vector<std::pair<std::string, Emulator::Fault>> traps_; // path, fault with its command
    int queriesUntilRefusal_ = 0;
    HRESULT refusal_ = S_OK;
};

// A test on one emulated handset, which must end with no descriptor and no
// directory handle open.
class HandsetTest : public ::testing::Test {
protected:
    void TearDown() override;

    // A new folder object, connected to the port for `path`.
    Platform::ComPtr<IStorage> folder(const char16_t* path);
    void addDirectory(const char16_t* path);
    void addFile(const char16_t* path, const Bytes& bytes);
    // The content of a handset file; empty when there is none.
    Bytes content(const char16_t* path) const;

    std::shared_ptr<Emulator::Handset> handset_ = std::make_shared<Emulator::Handset>();
    Platform::ComPtr<WatchedPort> port_ =
        Platform::ComPtr<WatchedPort>::attach(new WatchedPort(handset_));
};

// `size` bytes that differ from one 512-byte packet to the next.
Bytes pattern(std::size_t size);

// Checks the calling thread's error information against what a failed
// method of `clsid` reports for `iid`.
void expectError(REFCLSID clsid, REFIID iid, const std::wstring& description, DWORD helpContext);

// A progress sink that records the bytes written of each FileWriteEvent
// (and checks the rest); a real COM object on the stack.
class CountingSink final : public ITavoFileCopyProgress {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE FileWriteEvent(ULONG bytesWritten, ULONG bytesTotal,
                                             ULONG idThread) override;
    HRESULT STDMETHODCALLTYPE FileReadEvent(ULONG, ULONG, ULONG) override { return S_OK; }

    // References held by others than the test.
    ULONG held() const { return references_ - 1; }
    // Advises the sink on the progress point of `stream`.
    Platform::ComPtr<IConnectionPoint> advise(IUnknown* stream, DWORD& cookie);

    std::vector<ULONG> written;
    std::function<void()> onEvent; // called first at each event

private:
    ULONG references_ = 1;
};

// A new folder in the temporary folder of the Wine prefix, removed with
// what it holds.
class HostFolder {
public:
    HostFolder();
    ~HostFolder();
    HostFolder(const HostFolder&) = delete;
    HostFolder& operator=(const HostFolder&) = delete;

    // The folder's path, without a final "\".
    std::wstring path() const { return path_.wstring(); }
    std::wstring file(const std::wstring& name) const { return (path_ / name).wstring(); }

    static Bytes read(const std::wstring& path);
    static void write(const std::wstring& path, const Bytes& bytes);

private:
    std::filesystem::path path_;
};

} // namespace StorageTest
