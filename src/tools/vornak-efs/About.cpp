#include "tools/vornak-efs/About.h"

#include "tools/vornak-efs/Text.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ostream>

namespace VornakEfs {

namespace {

std::string hexNumber(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

// A limit the handset reports; 0 or less says it has none it tells.
std::string limitText(std::int32_t value, const std::string& unit)
{
    return value > 0 ? std::to_string(value) + unit : "not told";
}

std::string flashText(const HandsetReport& report)
{
    if (!report.device) {
        return "not told: " + report.deviceFailure;
    }
    const Diag::Efs::DeviceInfo& device = *report.device;
    return std::string(flashKind(device)) + ", \"" + printableBytes(device.name) + "\", maker " +
           hexNumber(device.makerId) + ", device " + hexNumber(device.deviceId) +
           "\n             " + std::to_string(device.totalBlocks) + " blocks of " +
           std::to_string(device.pagesPerBlock) + " pages of " + std::to_string(device.pageSize) +
           " bytes (" + formatBytes(flashBytes(device)) + ")";
}

// Runs `ask`; a refusal of the handset, or a command it lacks, becomes the
// reason it did not tell. The port failing stops the verb.
template <class Ask>
auto askOptional(Ask&& ask, std::string& failure) -> std::optional<decltype(ask())>
{
    try {
        return ask();
    } catch (const Failure& e) {
        if (e.exitCode() != kHandsetFailure && e.exitCode() != kNotSupported) {
            throw;
        }
        failure = e.what();
        return std::nullopt;
    }
}

} // namespace

const char* flashKind(const Diag::Efs::DeviceInfo& device)
{
    return device.deviceType == Diag::Efs::DeviceInfo::kNandFlash  ? "NAND"
           : device.deviceType == Diag::Efs::DeviceInfo::kNorFlash ? "NOR"
                                                                   : "of unknown kind";
}

std::string printableBytes(std::string text)
{
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c < 0x20 || c > 0x7E; }, '?');
    return text;
}

std::uint64_t flashBytes(const Diag::Efs::DeviceInfo& device)
{
    return std::uint64_t{device.totalBlocks} * device.pagesPerBlock * device.pageSize;
}

HandsetReport describeHandset(Session& session)
{
    HandsetReport report;
    report.subsystem = session.subsystem();
    report.hello = session.hello();
    report.limits = askOptional([&] { return session.limits(); }, report.limitsFailure);
    report.device = askOptional([&] { return session.deviceInfo(); }, report.deviceFailure);
    return report;
}

void showInfo(Session& session, std::ostream& out)
{
    const HandsetReport report = describeHandset(session);
    const Diag::Efs::HelloParameters& hello = report.hello;
    out << "EFS2:        protocol version " << hello.version << " on subsystem "
        << static_cast<unsigned>(report.subsystem) << " (the handset speaks " << hello.minVersion
        << " to " << hello.maxVersion << ")\n";

    if (report.limits) {
        const Diag::Efs::FileSystemLimits& l = *report.limits;
        out << "Names:       up to " << limitText(l.maxNameLength, " bytes") << ", paths up to "
            << limitText(l.maxPathLength, " bytes") << '\n'
            << "Files:       up to "
            << (l.maxFileSize > 0 ? formatBytes(static_cast<std::uint32_t>(l.maxFileSize))
                                  : std::string("not told"))
            << " each\n"
            << "Links:       "
            << (l.maxSymlinkDepth > 0
                    ? "followed up to " + std::to_string(l.maxSymlinkDepth) + " deep"
                    : std::string("none followed"))
            << '\n'
            << "Directories: up to " << limitText(l.maxDirectories, "") << '\n'
            << "Mounts:      " << limitText(l.maxMounts, "") << '\n';
    } else {
        out << "Limits:      not told: " << report.limitsFailure << '\n';
    }
    out << "Flash:       " << flashText(report) << '\n';
}

std::vector<FileSystemReport> describeFileSystems(Session& session,
                                                  const std::vector<std::string>& operands)
{
    std::vector<std::string> paths = operands;
    if (paths.empty()) {
        paths.push_back("/");
    }
    std::vector<FileSystemReport> reports;
    for (const std::string& operand : paths) {
        FileSystemReport report;
        report.path = handsetPath(operand);
        report.status = session.fileSystem(report.path);
        const Diag::Efs::FileSystemStatus& fs = report.status;
        const std::uint64_t block = fs.blockSize;
        report.size = block * fs.totalBlocks;
        report.used = block * (fs.totalBlocks - std::min(fs.freeBlocks, fs.totalBlocks));
        report.available = block * fs.availableBlocks;
        // As df rounds: up, of what is used and what users may still use.
        const std::uint64_t whole = report.used + report.available;
        if (whole != 0) {
            report.usePercent = (report.used * 100 + whole - 1) / whole;
        }
        reports.push_back(std::move(report));
    }
    return reports;
}

void showFileSystems(Session& session, const std::vector<std::string>& operands, std::ostream& out)
{
    std::vector<std::array<std::string, 7>> rows = {
        {"Path", "Type", "Size", "Used", "Available", "Use%", "Files"}};
    for (const FileSystemReport& report : describeFileSystems(session, operands)) {
        const Diag::Efs::FileSystemStatus& fs = report.status;
        rows.push_back(
            {toUtf8(report.path), fs.type.empty() ? "-" : printableBytes(fs.type), formatBytes(report.size),
             formatBytes(report.used), formatBytes(report.available),
             report.usePercent ? std::to_string(*report.usePercent) + "%" : "-",
             std::to_string(fs.fileCount) +
                 (fs.maxFileCount != 0 ? " of " + std::to_string(fs.maxFileCount) : "")});
    }
    std::array<std::size_t, 7> widths{};
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            // Names and types to the left, figures to the right.
            const std::string pad(widths[i] - row[i].size(), ' ');
            out << (i == 0 ? "" : "  ")
                << (i < 2 ? row[i] + (i + 1 < row.size() ? pad : "") : pad + row[i]);
        }
        out << '\n';
    }
}

} // namespace VornakEfs
