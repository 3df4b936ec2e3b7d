#include "tools/vornak-efs/Serve.h"

#include "tools/vornak-efs/CommandLine.h"
#include "tools/vornak-efs/Failure.h"
#include "tools/vornak-efs/Port.h"

#include <memory>
#include <ostream>
#include <string>

#if !defined(_WIN32)
#include "transport/PtyHandsetServer.h"

#include <csignal>
#include <system_error>
#endif

namespace VornakEfs {

#if defined(_WIN32)

int serve(const Options&, std::ostream&, std::ostream& err)
{
    err << "vornak-efs: serve needs a pseudo-terminal, which Windows does not have; use "
           "--emulator DIR with each command instead\n";
    return kUsage;
}

#else

namespace {

Transport::PtyHandsetServer* servingNow = nullptr;

extern "C" void onStopSignal(int)
{
    if (servingNow != nullptr) {
        servingNow->requestStop();
    }
}

} // namespace

int serve(const Options& options, std::ostream& out, std::ostream& err)
{
    auto handset = seededHandset(options.useEmulator ? options.emulator : "", err);
    std::unique_ptr<Transport::PtyHandsetServer> server;
    try {
        server = std::make_unique<Transport::PtyHandsetServer>(handset);
    } catch (const std::system_error& e) {
        throw Failure(kPortUnavailable, std::string("cannot open a pseudo-terminal: ") + e.what());
    }
    servingNow = server.get();
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    const std::string& path = server->slavePath();
    out << path << std::endl;
    err << "vornak-efs: serving the emulated handset on " << path << "\n"
        << "vornak-efs: try: vornak-efs --port serial:" << path << " ls -R /\n"
        << "vornak-efs: Ctrl-C stops it" << std::endl;
    try {
        server->run();
    } catch (const std::system_error& e) {
        servingNow = nullptr;
        throw Failure(kPortFailure, std::string("the pseudo-terminal failed: ") + e.what());
    }
    servingNow = nullptr;
    const auto counters = server->counters();
    err << "vornak-efs: stopped after " << counters.requests << " requests";
    if (counters.badFrames != 0) {
        err << " (and " << counters.badFrames << " damaged frames dropped)";
    }
    err << std::endl;
    return kSuccess;
}

#endif

} // namespace VornakEfs
