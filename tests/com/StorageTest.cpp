#include "com/StorageTest.h"

#include "emulator/EmulatedPort.h"

#include <algorithm>

namespace StorageTest {

namespace {

// Where the first path of a request starts; 0 for a request without one.
std::size_t pathOffset(std::uint16_t command)
{
    switch (command) {
    case Diag::Efs2::Open:
        return 12;
    case Diag::Efs2::MkDir:
        return 6;
    case Diag::Efs2::Unlink:
    case Diag::Efs2::RmDir:
    case Diag::Efs2::OpenDir:
    case Diag::Efs2::Rename:
    case Diag::Efs2::LStat:
        return 4;
    default:
        return 0;
    }
}

// The NUL-terminated texts of a request from `offset` on: one, or the two
// of a RENAME.
std::vector<std::string> texts(const Bytes& request, std::size_t offset, std::size_t count)
{
    std::vector<std::string> result;
    while (result.size() < count && offset < request.size()) {
        const auto begin = request.begin() + static_cast<std::ptrdiff_t>(offset);
        const auto end = std::find(begin, request.end(), 0);
        result.emplace_back(begin, end);
        offset += result.back().size() + 1;
    }
    return result;
}

} // namespace

Platform::ComPtr<WatchedPort> WatchedPort::create(std::shared_ptr<Emulator::Handset> handset)
{
    return Platform::ComPtr<WatchedPort>::attach(new WatchedPort(std::move(handset)));
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
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDiagPort)) {
        return static_cast<IDiagPort*>(this);
    }
    return nullptr;
}

HRESULT WatchedPort::SendRequest(ULONG requestLength, const BYTE* request, ULONG constant1,
                                 ULONG constant0, ULONG timeout, USHORT* responseLength,
                                 BYTE* response)
{
    Request seen{0, {}, Bytes(request, request + requestLength)};
    if (requestLength >= Diag::Efs2::kHeaderSize) {
        seen.command = static_cast<std::uint16_t>(request[2] | request[3] << 8);
        if (const std::size_t offset = pathOffset(seen.command); offset != 0) {
            seen.paths = texts(seen.bytes, offset, seen.command == Diag::Efs2::Rename ? 2 : 1);
        }
    }
    const std::string first = seen.paths.empty() ? std::string() : seen.paths.front();
    const auto trap = std::find_if(traps_.begin(), traps_.end(), [&](const Trap& t) {
        return t.command == seen.command && t.path == first;
    });
    if (trap != traps_.end()) {
        handset_->queueFault(trap->fault.on(trap->command));
        traps_.erase(trap);
    }
    requests_.push_back(std::move(seen));
    return inner_->SendRequest(requestLength, request, constant1, constant0, timeout,
                               responseLength, response);
}

void WatchedPort::failOn(Command command, std::string path, const Emulator::Fault& fault)
{
    traps_.push_back({command, std::move(path), fault});
}

void WatchedPort::refuseQuery(int nth, HRESULT hr)
{
    queriesUntilRefusal_ = nth;
    refusal_ = hr;
}

std::vector<std::uint16_t> WatchedPort::commands() const
{
    std::vector<std::uint16_t> result;
    for (const Request& request : requests_) {
        result.push_back(request.command);
    }
    return result;
}

std::vector<std::string> WatchedPort::paths(Command command) const
{
    std::vector<std::string> result;
    for (const Request& request : requests_) {
        if (request.command == command) {
            result.push_back(request.paths.empty() ? std::string() : request.paths.front());
        }
    }
    return result;
}

HandsetTest::HandsetTest()
    : handset_(std::make_shared<Emulator::Handset>())
    , port_(WatchedPort::create(handset_))
{}

void HandsetTest::TearDown()
{
    EXPECT_EQ(handset_->openDescriptors(), 0u) << "a descriptor was left open";
    EXPECT_EQ(handset_->openDirectories(), 0u) << "a directory was left open";
}

Platform::ComPtr<IStorage> HandsetTest::folder(const char16_t* path)
{
    const auto folder = ComTest::create<ITavoEFSFolder>(CLSID_TavoEFSFolder, IID_ITavoEFSFolder);
    if (!folder) {
        return {};
    }
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

std::uint32_t field16(const Bytes& bytes, std::size_t offset)
{
    return bytes.at(offset) | std::uint32_t{bytes.at(offset + 1)} << 8;
}

std::uint32_t field32(const Bytes& bytes, std::size_t offset)
{
    return field16(bytes, offset) | field16(bytes, offset + 2) << 16;
}

std::string narrow(std::u16string_view text)
{
    std::string result;
    for (const char16_t c : text) {
        result += static_cast<char>(c);
    }
    return result;
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
    events.push_back({bytesWritten, bytesTotal, idThread});
    return S_OK;
}

HostFolder::HostFolder()
{
    static int made = 0;
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"vornak-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++made);
    EXPECT_TRUE(CreateDirectoryW(path_.c_str(), nullptr)) << "cannot make the host folder";
}

HostFolder::~HostFolder()
{
    WIN32_FIND_DATAW found = {};
    const HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = file(found.cFileName);
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                RemoveDirectoryW(name.c_str()); // "." and ".." stay
            } else {
                DeleteFileW(name.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path_.c_str());
}

Bytes HostFolder::read(const std::wstring& path)
{
    Bytes bytes;
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "no host file";
        return bytes;
    }
    bytes.resize(GetFileSize(file, nullptr));
    DWORD got = 0;
    if (!bytes.empty()) {
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    }
    CloseHandle(file);
    bytes.resize(got);
    return bytes;
}

void HostFolder::write(const std::wstring& path, const Bytes& bytes)
{
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD put = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    CloseHandle(file);
}

} // namespace StorageTest
