// What the storage tests share: an emulated handset behind a port that the
// test watches, a fixture that checks the handset is left with nothing open,
// a progress sink that counts its events, and a folder of the host for files
// copied to and from the handset.
#pragma once

#include "com/ComTest.h"
#include "diag/Efs2.h"
#include "diag/ReservedSlots.h"
#include "emulator/Fault.h"
#include "emulator/Handset.h"
#include "platform/ComBase.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace StorageTest {

using Command = Diag::Efs2::Command;
using Bytes = std::vector<std::uint8_t>;

// The emulated handset's port, watched: every request is recorded with its
// command and the paths it names, a request of a command for a chosen path
// can be made to meet a fault, and a query for IDiagPort can be refused.
class WatchedPort final : public Platform::ComBase<WatchedPort, IDiagPort> {
public:
    struct Request {
        std::uint16_t command;
        std::vector<std::string> paths; // Windows-1252, as sent
        Bytes bytes;
    };

    static Platform::ComPtr<WatchedPort> create(std::shared_ptr<Emulator::Handset> handset);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    void* interfaceFor(REFIID iid);
    VORNAK_RESERVED_SLOT(1)
    VORNAK_RESERVED_SLOT(2)
    VORNAK_RESERVED_SLOT(3)
    HRESULT STDMETHODCALLTYPE SendRequest(ULONG requestLength, const BYTE* request, ULONG constant1,
                                          ULONG constant0, ULONG timeout, USHORT* responseLength,
                                          BYTE* response) override;

    // The next request of `command` whose first path is `path` ("" for a
    // request without one) meets `fault`.
    void failOn(Command command, std::string path, const Emulator::Fault& fault);
    // The `nth` query for IDiagPort from now on (1 is the next) answers `hr`.
    void refuseQuery(int nth, HRESULT hr);

    const std::vector<Request>& requests() const { return requests_; }
    // The commands sent so far, and the first path of each ("" for none).
    std::vector<std::uint16_t> commands() const;
    std::vector<std::string> paths(Command command) const;
    void forget() { requests_.clear(); }

private:
    explicit WatchedPort(std::shared_ptr<Emulator::Handset> handset);

    struct Trap {
        Command command;
        std::string path;
        Emulator::Fault fault;
    };

    std::shared_ptr<Emulator::Handset> handset_;
    Platform::ComPtr<IDiagPort> inner_;
    std::vector<Request> requests_;
    std::vector<Trap> traps_;
    int queriesUntilRefusal_ = 0;
    HRESULT refusal_ = S_OK;
};

// A test on one emulated handset (subsystem 19), which must end with no
// descriptor and no directory handle open.
class HandsetTest : public ::testing::Test {
protected:
    HandsetTest();
    void TearDown() override;

    // A new folder object, connected to the port for `path`.
    Platform::ComPtr<IStorage> folder(const char16_t* path);
    void addDirectory(const char16_t* path);
    void addFile(const char16_t* path, const Bytes& bytes);
    // The content of a handset file; empty when it does not exist.
    Bytes content(const char16_t* path) const;

    std::shared_ptr<Emulator::Handset> handset_;
    Platform::ComPtr<WatchedPort> port_;
};

// Little-endian fields of a request.
std::uint32_t field16(const Bytes& bytes, std::size_t offset);
std::uint32_t field32(const Bytes& bytes, std::size_t offset);
// The Windows-1252 form of ASCII text, as paths are sent.
std::string narrow(std::u16string_view text);

// `size` bytes that differ from one 512-byte packet to the next.
Bytes pattern(std::size_t size);

// The error information of the last call checked against what a failed
// method of `clsid` reports for `iid`.
void expectError(REFCLSID clsid, REFIID iid, const std::wstring& description, DWORD helpContext);

// A progress sink that records its FileWriteEvent calls; a real COM object
// that counts its references and lives on the stack.
class CountingSink final : public ITavoFileCopyProgress {
public:
    struct Event {
        ULONG written, total, thread;
    };

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE FileWriteEvent(ULONG bytesWritten, ULONG bytesTotal,
                                             ULONG idThread) override;
    HRESULT STDMETHODCALLTYPE FileReadEvent(ULONG, ULONG, ULONG) override { return S_OK; }

    // References held by others than the test.
    ULONG held() const { return references_ - 1; }
    std::vector<Event> events;
    // Called at each event before it is recorded.
    std::function<void()> onEvent;

private:
    ULONG references_ = 1;
};

// A new folder in the temporary folder of the Wine prefix, removed with its
// files when the object goes.
class HostFolder {
public:
    HostFolder();
    ~HostFolder();
    HostFolder(const HostFolder&) = delete;
    HostFolder& operator=(const HostFolder&) = delete;

    // The folder's path, without a final "\".
    const std::wstring& path() const { return path_; }
    std::wstring file(const std::wstring& name) const { return path_ + L"\\" + name; }

    static Bytes read(const std::wstring& path);
    static void write(const std::wstring& path, const Bytes& bytes);

private:
    std::wstring path_;
};

} // namespace StorageTest
