#include "tools/vornak-efs/Port.h"

#include "emulator/EmulatedPort.h"
#include "emulator/Seed.h"
#include "tools/vornak-efs/CommandLine.h"
#include "tools/vornak-efs/Failure.h"
#include "tools/vornak-efs/Text.h"
#include "transport/Line.h"
#include "transport/SerialPort.h"

#include <chrono>
#include <ostream>
#include <stdexcept>
#include <system_error>

namespace VornakEfs {

namespace {

// Beyond this many, left-out entries are only counted.
constexpr std::size_t kListedLeftOut = 10;

} // namespace

std::shared_ptr<Emulator::Handset> seededHandset(const std::string& folder, std::ostream& err)
{
    Emulator::FileSystem fileSystem;
    if (!folder.empty()) {
        const std::filesystem::path path = hostPath(folder);
        std::error_code error;
        if (!std::filesystem::is_directory(path, error)) {
            throw Failure(kPortUnavailable,
                          "the emulator needs a folder to copy; " + folder + " is none");
        }
        Emulator::SeedReport report;
        try {
            report = Emulator::seedFromHost(fileSystem, path);
        } catch (const std::filesystem::filesystem_error& e) {
            throw Failure(kPortUnavailable,
                          "cannot read " + folder + " for the emulator: " + e.code().message());
        }
        for (std::size_t i = 0; i < report.skipped.size() && i < kListedLeftOut; ++i) {
            err << "vornak-efs: the emulator left out " << hostText(report.skipped[i]) << '\n';
        }
        if (report.skipped.size() > kListedLeftOut) {
            err << "vornak-efs: ... and " << report.skipped.size() - kListedLeftOut
                << " more entries\n";
        }
    }
    return std::make_shared<Emulator::Handset>(std::move(fileSystem));
}

std::shared_ptr<Emulator::Line> modelledLine(const Options& options)
{
    if (options.latencyMs == 0 && options.baud == 0) {
        return nullptr;
    }
    return std::make_shared<Emulator::Line>(
        Emulator::LinkModel{std::chrono::milliseconds(options.latencyMs), options.baud});
}

Platform::ComPtr<IDiagPort> openPort(const Options& options, std::ostream& err)
{
    if (options.useEmulator) {
        auto handset = seededHandset(options.emulator, err);
        if (auto line = modelledLine(options)) {
            return Emulator::EmulatedPort::create(std::move(handset), std::move(line));
        }
        return Emulator::EmulatedPort::create(std::move(handset));
    }
    const bool overTcp = options.port.rfind("tcp:", 0) == 0;
    try {
        return Transport::SerialPort::open(
            Transport::openLine(options.port, std::chrono::milliseconds(options.timeoutMs)));
    } catch (const std::invalid_argument& e) {
        throw Failure(kUsage, "--port " + options.port + ": " + e.what());
    } catch (const std::system_error& e) {
        // The error's text starts with the line's name.
        throw Failure(kPortUnavailable,
                      std::string(overTcp ? "cannot connect to " : "cannot open the serial port ") +
                          e.what());
    }
}

} // namespace VornakEfs
