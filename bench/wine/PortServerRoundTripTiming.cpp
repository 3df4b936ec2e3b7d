// Times one round trip to the port server program: an item read of 512 bytes
// (IItemService::GetItem through an item file) and one 512-byte EFS2 READ
// (IDiagPort::SendRequest through the READ command), each across the process
// boundary and, for comparison, to the same emulator objects in this process.
// Prints the median and the 10th and 90th percentiles of many calls. Not a
// test: bench/port-server-round-trip registers the server and runs it.
#include "diag/EFSOpen.h"
#include "diag/EFSRead.h"
#include "diag/Efs2.h"
#include "diag/PortInterfaces.h"
#include "efs/ItemFile.h"
#include "emulator/EmulatedPort.h"
#include "emulator/PortServer.h"
#include "platform/Bstr.h"
#include "platform/ComPtr.h"
#include "platform/LocalServer.h"

#include <PortServerControl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using Platform::ComPtr;

constexpr int kWarmUp = 200;
constexpr int kCalls = 5000;
constexpr std::uint32_t kTimeout = 1000;
constexpr std::uint32_t kPayload = 512;

struct Figures {
    double median;
    double low;
    double high;
};

// Microseconds per call of `call`.
Figures timeCalls(const std::function<void()>& call)
{
    for (int i = 0; i < kWarmUp; ++i) {
        call();
    }
    std::vector<double> samples(kCalls);
    for (double& sample : samples) {
        const auto start = std::chrono::steady_clock::now();
        call();
        sample = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                     .count();
    }
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[samples.size() / 10],
            samples[samples.size() * 9 / 10]};
}

void report(const char* what, const Figures& figures)
{
    std::printf("%-40s median %8.1f us   p10 %8.1f us   p90 %8.1f us\n", what, figures.median,
                figures.low, figures.high);
}

// Times both calls on `port`; item files find their server through the platform.
void timePort(const char* where, IDiagPort* port)
{
    std::vector<std::uint8_t> buffer(kPayload);
    {
        auto item = Rc::makeHeap<Efs::ItemFile, Efs::FileBase>(
            port, Efs::ItemFile::DevicePath(u"/bench/item"), kTimeout, Diag::Efs2::kFileSubsystem);
        std::string label = std::string("item read of 512 bytes, ") + where;
        report(label.c_str(), timeCalls([&] {
                   if (item->Read(buffer.data(), kPayload) != kPayload) {
                       std::abort();
                   }
               }));
    }
    const std::int32_t fd = Diag::Efs::Open(port, kTimeout, Diag::Efs2::kFileSubsystem)
                                .Execute(u"/bench/file", Diag::Efs2::kOpenReadOnly, 0);
    CEFSRead read(port, kTimeout, Diag::Efs2::kFileSubsystem);
    std::string label = std::string("EFS2 READ of 512 bytes, ") + where;
    report(label.c_str(), timeCalls([&] {
               if (read.Execute(buffer.data(), fd, kPayload, 0) != kPayload) {
                   std::abort();
               }
           }));
}

int run()
{
    const std::vector<std::uint8_t> content(kPayload, 0x5A);

    // Across the process boundary: the registered server program.
    {
        ComPtr<IUnknown> started;
        if (FAILED(Platform::createLocalServerNoThrow(CLSID_PortServer, started.put()))) {
            std::fprintf(stderr, "the port server is not registered\n");
            return 1;
        }
        ComPtr<IPortServerControl> control;
        ComPtr<IPortServer> server;
        ComPtr<IPortDirectory> directory;
        ComPtr<IServerPort> serverPort;
        ComPtr<IDiagPort> port;
        if (FAILED(
                Platform::queryInterfaceNoThrow(started.get(), IID_IPortServerControl, control)) ||
            FAILED(Platform::queryInterfaceNoThrow(started.get(), IID_IPortServer, server)) ||
            FAILED(server->GetPortDirectory(directory.put())) ||
            FAILED(directory->GetPort(1, serverPort.put())) ||
            FAILED(Platform::queryInterfaceNoThrow(serverPort.get(), IID_IDiagPort, port))) {
            std::fprintf(stderr, "the port server offers no port 1\n");
            return 1;
        }
        for (const char16_t* path : {u"/bench/item", u"/bench/file"}) {
            control->PutFile(Platform::Bstr(path).get(), kPayload, content.data());
        }
        timePort("across processes", port.get());
    }

    // In this process: the same emulator objects, called directly.
    auto handset = std::make_shared<Emulator::Handset>();
    handset->edit([&](Emulator::FileSystem& fileSystem) {
        fileSystem.addFile(u"/bench/item", content);
        fileSystem.addFile(u"/bench/file", content);
    });
    const ComPtr<IDiagPort> port = Emulator::EmulatedPort::create(handset);
    const auto server = Emulator::PortServer::create();
    server->addPort(port.get());
    const Platform::LocalServerOverride inProcess([&](REFCLSID, IUnknown** object) {
        return server->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(object));
    });
    timePort("in process", port.get());
    return 0;
}

} // namespace

int main()
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        return 1;
    }
    int status = 1;
    try {
        status = run();
    } catch (...) {
        std::fprintf(stderr, "a call failed\n");
    }
    CoUninitialize();
    return status;
}
