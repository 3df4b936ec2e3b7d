// What the storage tests share: an emulated handset behind a port that
// records what passes, a fixture that checks the handset is left with nothing
// open, a progress sink that counts its events, and a folder of the host.
#pragma once

#include "diag/Efs2.h"
#include "emulator/EmulatedPort.h"
#include "emulator/Fault.h"
#include "emulator/Handset.h"
#include "support/ComTest.h"
#include "support/RecordingPort.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace StorageTest {

using Command = Diag::Efs2::Command;
using Bytes = std::vector<std::uint8_t>;
using Strings = TestSupport::RecordingPort::Strings;

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
    Platform::ComPtr<IStorage> folder(const char16_t* path, ULONG timeout = 1000)
    {
        const auto folder =
            ComTest::create<ITavoEFSFolder>(CLSID_TavoEFSFolder, IID_ITavoEFSFolder);
        EXPECT_EQ(folder->Connect(static_cast<IDiagPort*>(port_.get()), timeout,
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

    // The next request of `command` for `path` meets `fault`.
    void failOn(Command command, std::string path, const Emulator::Fault& fault)
    {
        port_->before(command, std::move(path),
                      [this, fault = fault.on(command)] { handset_->queueFault(fault); });
    }

    std::shared_ptr<Emulator::Handset> handset_ = std::make_shared<Emulator::Handset>();
    Platform::ComPtr<TestSupport::RecordingPort> port_ =
        TestSupport::RecordingPort::create(Emulator::EmulatedPort::create(handset_).get());
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
// (and checks the rest). Made with make().
class CountingSink final : public ComServer::ComObject<CountingSink, ITavoFileCopyProgress> {
public:
    static std::span<const ComServer::InterfaceEntry<CountingSink>> interfaceTable()
    {
        static constexpr ComServer::InterfaceEntry<CountingSink> table[] = {
            ComServer::interfaceEntry<CountingSink, ITavoFileCopyProgress>(
                IID_ITavoFileCopyProgress),
        };
        return table;
    }

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
    ULONG held()
    {
        AddRef();
        return Release() - 1;
    }
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
    friend ComObject;
    CountingSink() = default;
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
