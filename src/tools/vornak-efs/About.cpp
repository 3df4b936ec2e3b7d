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

// The handset's bytes of a name, with what a terminal would take for a
// control shown as '?'.
std::string printable(const std::string& bytes)
{
    std::string text = bytes;
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c < 0x20 || c > 0x7E; }, '?');
    return text;
}

std::string flashText(Session& session)
{
    Diag::Efs::DeviceInfo device;
    try {
        device = session.deviceInfo();
    } catch (const Failure& e) {
        if (e.exitCode() != kHandsetFailure && e.exitCode() != kNotSupported) {
            throw;
        }
        return std::string("not told: ") + e.what();
    }
    const std::uint64_t bytes =
        std::uint64_t{device.totalBlocks} * device.pagesPerBlock * device.pageSize;
    const char* kind = device.deviceType == Diag::Efs::DeviceInfo::kNandFlash  ? "NAND"
                       : device.deviceType == Diag::Efs::DeviceInfo::kNorFlash ? "NOR"
                                                                               : "of unknown kind";
    std::string text = std::string(kind) + ", \"" + printable(device.name) + "\", maker " +
                       hexNumber(device.makerId) + ", device " + hexNumber(device.deviceId) +
                       "\n             " + std::to_string(device.totalBlocks) + " blocks of " +
                       std::to_string(device.pagesPerBlock) + " pages of " +
                       std::to_string(device.pageSize) + " bytes (" + formatBytes(bytes) + ")";
    return text;
}

} // namespace

void showInfo(Session& session, std::ostream& out)
{
    const Diag::Efs::HelloParameters hello = session.hello();
    out << "EFS2:        protocol version " << hello.version << " on subsystem "
        << static_cast<unsigned>(session.subsystem()) << " (the handset speaks " << hello.minVersion
        << " to " << hello.maxVersion << ")\n";

    try {
        const Diag::Efs::FileSystemLimits l = session.limits();
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
    } catch (const Failure& e) {
        if (e.exitCode() != kHandsetFailure && e.exitCode() != kNotSupported) {
            throw;
        }
        out << "Limits:      not told: " << e.what() << '\n';
    }
    out << "Flash:       " << flashText(session) << '\n';
}

void showFileSystems(Session& session, const std::vector<std::string>& operands, std::ostream& out)
{
    std::vector<std::string> paths = operands;
    if (paths.empty()) {
        paths.push_back("/");
    }
    std::vector<std::array<std::string, 7>> rows = {
        {"Path", "Type", "Size", "Used", "Available", "Use%", "Files"}};
    for (const std::string& operand : paths) {
        const std::u16string path = handsetPath(operand);
        const Diag::Efs::FileSystemStatus fs = session.fileSystem(path);
        const std::uint64_t block = fs.blockSize;
        const std::uint64_t total = block * fs.totalBlocks;
        const std::uint64_t used =
            block * (fs.totalBlocks - std::min(fs.freeBlocks, fs.totalBlocks));
        const std::uint64_t available = block * fs.availableBlocks;
        // As df rounds: up, of what is used and what users may still use.
        const std::uint64_t whole = used + available;
        const std::string usePercent =
            whole == 0 ? "-" : std::to_string((used * 100 + whole - 1) / whole) + "%";
        rows.push_back(
            {toUtf8(path), fs.type.empty() ? "-" : fs.type, formatBytes(total), formatBytes(used),
             formatBytes(available), usePercent,
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
