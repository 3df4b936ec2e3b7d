#include "com/StorageTest.h"

#include "emulator/EmulatedPort.h"
#include "platform/Bstr.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace StorageTest {

std::uint32_t WatchedPort::Request::field32(std::size_t offset) const
{
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;) {
        value = value << 8 | bytes.at(offset + i);
    }
    return value;
}

WatchedPort::WatchedPort(std::shared_ptr<Emulator::Handset> handset)
    : handset_(handset)
    , inner_(Emulator::EmulatedPort::create(std::move(handset)))
{}

HRESULT WatchedPort::QueryInterface(REFIID iid, void** out)
{
    if (IsEqualIID(iid, IID_IDiagPort) && queriesUntilRefusal_ > 0 && --queriesUntilRefusal_ == 0) {
        *out = nullptr;
        return refusal_;
    }
    return ComBase::QueryInterface(iid, out);
}

void* WatchedPort::interfaceFor(REFIID iid)
{
    const bool known = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDiagPort);
    return known ? static_cast<IDiagPort*>(this) : nullptr;
}

HRESULT WatchedPort::SendRequest(ULONG requestLength, const BYTE* request, ULONG constant1,
                                 ULONG constant0, ULONG timeout, USHORT* responseLength,
                                 BYTE* response)
{
    Request seen{static_cast<std::uint16_t>(request[2] | request[3] << 8),
                 {},
                 Bytes(request, request + requestLength)};
    using namespace Diag::Efs2;
    const Command withPath[] = {Open, MkDir, Unlink, RmDir, OpenDir, Rename, LStat};
    if (std::find(std::begin(withPath), std::end(withPath), seen.command) != std::end(withPath)) {
        auto begin = seen.bytes.begin() + (seen.command == Open    ? 12
                                           : seen.command == MkDir ? 6
                                                                   : 4);
        for (int n = seen.command == Rename ? 2 : 1; n > 0; --n) {
            const auto end = std::find(begin, seen.bytes.end(), 0);
            seen.paths.emplace_back(begin, end);
            begin = end + 1;
        }
    }
    const auto trap = std::find_if(traps_.begin(), traps_.end(), [&](const auto& t) {
        return t.second.command == seen.command && !seen.paths.empty() &&
               t.first == seen.paths.front();
    });
    if (trap != traps_.end()) {
        handset_->queueFault(trap->second);
        traps_.erase(trap);
    }
    requests.push_back(std::move(seen));
    return inner_->SendRequest(requestLength, request, constant1, constant0, timeout,
                               responseLength, response);
}

void WatchedPort::failOn(Command command, std::string path, const Emulator::Fault& fault)
{
    traps_.emplace_back(std::move(path), fault.on(command));
}

void WatchedPort::refuseQuery(int nth, HRESULT hr)
{
    queriesUntilRefusal_ = nth;
    refusal_ = hr;
}

std::vector<std::uint16_t> WatchedPort::commands() const
{
    std::vector<std::uint16_t> result;
    for (const Request& request : requests) {
        result.push_back(request.command);
    }
    return result;
}

std::vector<std::string> WatchedPort::paths(Command command) const
{
    std::vector<std::string> result;
    for (const Request& request : requests) {
        if (request.command == command) {
            result.push_back(request.paths.front());
        }
    }
    return result;
}

void HandsetTest::TearDown()
{
    EXPECT_EQ(handset_->openDescriptors(), 0u) << "a descriptor was left open";
    EXPECT_EQ(handset_->openDirectories(), 0u) << "a directory was left open";
}

Platform::ComPtr<IStorage> HandsetTest::folder(const char16_t* path)
{
    const auto folder = ComTest::create<ITavoEFSFolder>(CLSID_TavoEFSFolder, IID_ITavoEFSFolder);
    EXPECT_EQ(folder->Connect(static_cast<IDiagPort*>(port_.get()), 1000,
                              Platform::Bstr(path).get(), Diag::Efs2::kFileSubsystem),
              S_OK);
    return ComTest::query<IStorage>(folder.get(), IID_IStorage);
}

void HandsetTest::addDirectory(const char16_t* path)
{
    handset_->edit([&](Emulator::FileSystem& fs) { fs.addDirectory(path); });
}

void HandsetTest::addFile(const char16_t* path, const Bytes& bytes)
{
    handset_->edit([&](Emulator::FileSystem& fs) { fs.addFile(path, bytes, 0666, 1000); });
}

Bytes HandsetTest::content(const char16_t* path) const
{
    Bytes bytes;
    handset_->readFile(path, bytes);
    return bytes;
}

Bytes pattern(std::size_t size)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 512);
    }
    return bytes;
}

void expectError(REFCLSID clsid, REFIID iid, const std::wstring& description, DWORD helpContext)
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

HRESULT CountingSink::QueryInterface(REFIID iid, void** out)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ITavoFileCopyProgress)) {
        AddRef();
        *out = static_cast<ITavoFileCopyProgress*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT CountingSink::FileWriteEvent(ULONG bytesWritten, ULONG bytesTotal, ULONG idThread)
{
    if (onEvent) {
        onEvent();
    }
    EXPECT_EQ(bytesTotal, 0u);
    EXPECT_EQ(idThread, GetCurrentThreadId()) << "events come on the writing thread";
    written.push_back(bytesWritten);
    return S_OK;
}

Platform::ComPtr<IConnectionPoint> CountingSink::advise(IUnknown* stream, DWORD& cookie)
{
    Platform::ComPtr<IConnectionPoint> point;
    EXPECT_EQ(ComTest::query<IConnectionPointContainer>(stream, IID_IConnectionPointContainer)
                  ->FindConnectionPoint(IID_ITavoFileCopyProgress, point.put()),
              S_OK);
    EXPECT_EQ(point->Advise(this, &cookie), S_OK);
    return point;
}

HostFolder::HostFolder()
{
    static int made = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("vornak-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++made));
    std::filesystem::create_directory(path_);
}

HostFolder::~HostFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

Bytes HostFolder::read(const std::wstring& path)
{
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    EXPECT_TRUE(in.is_open()) << "no host file";
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void HostFolder::write(const std::wstring& path, const Bytes& bytes)
{
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

} // namespace StorageTest
