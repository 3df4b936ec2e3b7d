// What the storage tests share: an emulated handset behind a port that the
// test watches, a fixture that checks the handset is left with nothing open,
// a progress sink that counts its events, and a folder of the host.
#pragma once

#include "com/ComTest.h"
#include "diag/Efs2.h"
#include "diag/ReservedSlots.h"
#include "emulator/EmulatedPort.h"
#include "emulator/Fault.h"
#include "emulator/Handset.h"
#include "platform/ComBase.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace StorageTest {

using Command = Diag::Efs2::Command;
using Bytes = std::vector<std::uint8_t>;
using Strings = std::vector<std::string>;

// The emulated handset's port, watched: it records the command and paths of
// every request, lets a request of a command for a chosen path meet a fault,
// and can refuse a query for IDiagPort.
class WatchedPort final : public Platform::ComBase<WatchedPort, IDiagPort> {
public:
    struct Request {
        std::uint16_t command;
        Strings paths; // as sent; two for RENAME
    };

    explicit WatchedPort(std::shared_ptr<Emulator::Handset> handset)
        : handset_(handset)
        , inner_(Emulator::EmulatedPort::create(std::move(handset)))
    {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (IsEqualIID(iid, IID_IDiagPort) && refusalIn_ > 0 && --refusalIn_ == 0) {
            *out = nullptr;
            return refusal_;
        }
        return ComBase::QueryInterface(iid, out);
    }
    void* interfaceFor(REFIID iid)
    {
        const bool known = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDiagPort);
        return known ? static_cast<IDiagPort*>(this) : nullptr;
    }
    VORNAK_RESERVED_SLOTS_1_TO_3
    HRESULT STDMETHODCALLTYPE SendRequest(ULONG requestLength, const BYTE* request, ULONG constant1,
                                          ULONG constant0, ULONG timeout, USHORT* responseLength,
                                          BYTE* response) override
    {
        using namespace Diag::Efs2;
        Request seen{static_cast<std::uint16_t>(request[2] | request[3] << 8), {}};
        const Command withPath[] = {Open, MkDir, Unlink, RmDir, OpenDir, Rename, LStat};
        if (std::find(std::begin(withPath), std::end(withPath), seen.command) !=
            std::end(withPath)) {
            // Each path ends with its NUL; RENAME's second follows the first.
            auto text = reinterpret_cast<const char*>(request) + (seen.command == Open    ? 12
                                                                  : seen.command == MkDir ? 6
                                                                                          : 4);
            for (int n = seen.command == Rename ? 2 : 1; n > 0; --n) {
                text += seen.paths.emplace_back(text).size() + 1;
            }
        }
        const auto trap = std::find_if(traps_.begin(), traps_.end(), [&](const auto& t) {
            return t.second.command == seen.command && seen.paths == Strings{t.first};
        });
        if (trap != traps_.end()) {
            handset_->queueFault(trap->second);
            traps_.erase(trap);
        }
        requests.push_back(std::move(seen));
        return inner_->SendRequest(requestLength, request, constant1, constant0, timeout,
                                   responseLength, response);
    }

    // The next request of `command` for `path` meets `fault`.
    void failOn(Command command, std::string path, const Emulator::Fault& fault)
    {
        traps_.emplace_back(std::move(path), fault.on(command));
    }
    // The `nth` query for IDiagPort from now on (1 is the next) answers `hr`.
    void refuseQuery(int nth, HRESULT hr)
    {
        refusalIn_ = nth;
        refusal_ = hr;
    }

    // The first path of each request of `command`.
    Strings paths(Command command) const
    {
        Strings result;
        for (const Request& request : requests) {
            if (request.command == command) {
                result.push_back(request.paths.front());
            }
        }
        return result;
    }

    std::vector<Request> requests;

private:
    std::shared_ptr<Emulator::Handset> handset_;
    Platform::ComPtr<IDiagPort> inner_;
    std::vector<std::pair<std::string, Emulator::Fault>> traps_; // path, fault with its command
    int refusalIn_ = 0;
    HRESULT refusal_ = S_OK;
};

// A test on one emulated handset, which must end with no descriptor and no
// directory handle open.
class HandsetTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        EXPECT_EQ(handset_->openDescriptors(), 0u) << "a descriptor was left open";
        EXPECT_EQ(handset_->openDirectories(), 0u) << "a directory was left open";
        ComTest::clearErrorInfo(); // what a test left unread must not meet the next one
    }

    // A new folder object, connected to the port for `path`.
    Platform::ComPtr<IStorage> folder(const char16_t* path)
    {
        const auto folder =
            ComTest::create<ITavoEFSFolder>(CLSID_TavoEFSFolder, IID_ITavoEFSFolder);
        EXPECT_EQ(folder->Connect(static_cast<IDiagPort*>(port_.get()), 1000,
                                  Platform::Bstr(path).get(), Diag::Efs2::kFileSubsystem),
                  S_OK);
        return ComTest::query<IStorage>(folder.get(), IID_IStorage);
    }
    void addDirectory(const char16_t* path)
    {
        handset_->edit([&](Emulator::FileSystem& fs) { fs.addDirectory(path); });
    }
    void addFile(const char16_t* path, const Bytes& bytes)
    {
        handset_->edit([&](Emulator::FileSystem& fs) { fs.addFile(path, bytes, 0666, 1000); });
    }
    // The content of a handset file; empty when there is none.
    Bytes content(const char16_t* path) const
    {
        Bytes bytes;
        handset_->readFile(path, bytes);
        return bytes;
    }

    std::shared_ptr<Emulator::Handset> handset_ = std::make_shared<Emulator::Handset>();
    Platform::ComPtr<WatchedPort> port_ =
        Platform::ComPtr<WatchedPort>::attach(new WatchedPort(handset_));
};

// `size` bytes that differ from one 512-byte packet to the next.
inline Bytes pattern(std::size_t size)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 512);
    }
    return bytes;
}

// Checks the calling thread's error information against what a failed
// method of `clsid` reports for `iid`.
inline void expectError(REFCLSID clsid, REFIID iid, const std::wstring& description,
                        DWORD helpContext)
{
    const ComTest::ErrorRecord error = ComTest::takeErrorInfo();
    ASSERT_TRUE(error.present) << "no error information";
    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(clsid, &progId), S_OK);
    EXPECT_EQ(error.source, progId);
    CoTaskMemFree(progId);
    EXPECT_TRUE(IsEqualGUID(error.guid, iid)) << "error information for another interface";
    EXPECT_EQ(error.description, description);
    EXPECT_EQ(error.helpContext, helpContext);
}

// A progress sink that records the bytes written of each FileWriteEvent
// (and checks the rest); a real COM object on the stack.
class CountingSink final : public ITavoFileCopyProgress {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        const bool known =
            IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ITavoFileCopyProgress);
        *out = known ? static_cast<ITavoFileCopyProgress*>(this) : nullptr;
        return known ? (AddRef(), S_OK) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE FileWriteEvent(ULONG bytesWritten, ULONG bytesTotal,
                                             ULONG idThread) override
    {
        if (onEvent) {
            onEvent();
        }
        EXPECT_EQ(bytesTotal, 0u);
        EXPECT_EQ(idThread, GetCurrentThreadId()) << "events come on the writing thread";
        written.push_back(bytesWritten);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FileReadEvent(ULONG, ULONG, ULONG) override { return S_OK; }

    // References held by others than the test.
    ULONG held() const { return references_ - 1; }
    // Advises the sink on the progress point of `stream`.
    Platform::ComPtr<IConnectionPoint> advise(IUnknown* stream, DWORD& cookie)
    {
        Platform::ComPtr<IConnectionPoint> point;
        EXPECT_EQ(ComTest::query<IConnectionPointContainer>(stream, IID_IConnectionPointContainer)
                      ->FindConnectionPoint(IID_ITavoFileCopyProgress, point.put()),
                  S_OK);
        EXPECT_EQ(point->Advise(this, &cookie), S_OK);
        return point;
    }

    std::vector<ULONG> written;
    std::function<void()> onEvent; // called first at each event

private:
    ULONG references_ = 1;
};

// A new folder in the temporary folder of the Wine prefix, removed with
// what it holds.
class HostFolder {
public:
    HostFolder()
    {
        static int made = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("vornak-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++made));
        std::filesystem::create_directory(path_);
    }
    ~HostFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    HostFolder(const HostFolder&) = delete;
    HostFolder& operator=(const HostFolder&) = delete;

    // The folder's path, without a final "\".
    std::wstring path() const { return path_.wstring(); }
    std::wstring file(const std::wstring& name) const { return (path_ / name).wstring(); }

    static Bytes read(const std::wstring& path)
    {
        std::ifstream in(std::filesystem::path(path), std::ios::binary);
        EXPECT_TRUE(in.is_open()) << "no host file";
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static void write(const std::wstring& path, const Bytes& bytes)
    {
        std::ofstream(std::filesystem::path(path), std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }

private:
    std::filesystem::path path_;
};

} // namespace StorageTest
