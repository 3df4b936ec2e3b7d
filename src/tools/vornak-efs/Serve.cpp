#include "tools/vornak-efs/Serve.h"

#include "tools/vornak-efs/CommandLine.h"
#include "tools/vornak-efs/Failure.h"
#include "tools/vornak-efs/Port.h"

#include <memory>
#include <ostream>
#include <string>

#if !defined(_WIN32)
#include "transport/PtyHandsetServer.h"
#include "transport/TcpHandsetServer.h"

#include <csignal>
#include <system_error>
#endif

namespace VornakEfs {

#if defined(_WIN32)

int serve(const Options&, std::ostream&, std::ostream& err)
{
    err << "vornak-efs: serve is not available on Windows; use --emulator DIR with each "
           "command instead\n";
    return kUsage;
}

#else

namespace {

Transport::HandsetServer* servingNow = nullptr;

extern "C" void onStopSignal(int)
{
    if (servingNow != nullptr) {
        servingNow->requestStop();
    }
}

struct Served {
    std::unique_ptr<Transport::HandsetServer> server;
    std::string announced; // the first line of the output
    std::string port;      // what --port takes to reach it
    std::string where;     // for the messages
};

Served startServer(const Options& options, std::shared_ptr<Emulator::Handset> handset)
{
    Served served;
    if (options.listen.empty()) {
        try {
            auto pty = std::make_unique<Transport::PtyHandsetServer>(std::move(handset));
            served.announced = pty->slavePath();
            served.port = "serial:" + served.announced;
            served.where = served.announced;
            served.server = std::move(pty);
        } catch (const std::system_error& e) {
            throw Failure(kPortUnavailable,
                          std::string("cannot open a pseudo-terminal: ") + e.what());
        }
        return served;
    }
    Transport::TcpAddress address;
    try {
        address = Transport::parseTcpAddress(options.listen, Transport::AnyPort::Allowed);
    } catch (const std::invalid_argument& e) {
        throw Failure(kUsage, "--listen " + options.listen + ": " + e.what());
    }
    try {
        auto tcp = std::make_unique<Transport::TcpHandsetServer>(std::move(handset), address);
        served.announced = "tcp:" + tcp->address().text();
        served.port = served.announced;
        served.where = "TCP port " + tcp->address().text();
        served.server = std::move(tcp);
    } catch (const std::system_error& e) {
        throw Failure(kPortUnavailable, std::string("cannot listen on ") + e.what());
    }
    return served;
}

} // namespace

int serve(const Options& options, std::ostream& out, std::ostream& err)
{
    auto handset = seededHandset(options.useEmulator ? options.emulator : "", err);
    Served served = startServer(options, std::move(handset));
    served.server->setLine(modelledLine(options));
    servingNow = served.server.get();
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    out << served.announced << std::endl;
    err << "vornak-efs: serving the emulated handset on " << served.where << "\n"
        << "vornak-efs: try: vornak-efs --port " << served.port << " ls -R /\n"
        << "vornak-efs: Ctrl-C stops it" << std::endl;
    if (options.latencyMs != 0 || options.baud != 0) {
        err << "vornak-efs: each answer takes " << options.latencyMs << " ms and its bytes at "
            << (options.baud != 0 ? std::to_string(options.baud) + " baud" : "no cost")
            << ", as on a cable" << std::endl;
    }
    try {
        served.server->run();
    } catch (const std::system_error& e) {
        servingNow = nullptr;
        throw Failure(kPortFailure, "serving on " + served.where + " failed: " + e.what());
    }
    servingNow = nullptr;
    const auto counters = served.server->counters();
    err << "vornak-efs: stopped after " << counters.requests << " requests";
    if (!options.listen.empty()) {
        err << " from " << counters.clients << (counters.clients == 1 ? " client" : " clients");
    }
    if (counters.badFrames != 0) {
        err << " (and " << counters.badFrames << " damaged frames dropped)";
    }
    err << std::endl;
    return kSuccess;
}

#endif

} // namespace VornakEfs
