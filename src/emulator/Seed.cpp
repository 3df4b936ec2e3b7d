#include "emulator/Seed.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace Emulator {

namespace fs = std::filesystem;

namespace {

std::uint32_t hostPermissions(const fs::file_status& status)
{
    return static_cast<std::uint32_t>(status.permissions() & fs::perms::all);
}

// The host's modification time in the handset's seconds, clamped to 32 bits.
std::uint32_t hostTime(const fs::path& path)
{
    const auto system = std::chrono::file_clock::to_sys(fs::last_write_time(path));
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count();
    return static_cast<std::uint32_t>(std::clamp<long long>(seconds, 0, 0xFFFFFFFFLL));
}

std::vector<std::uint8_t> hostBytes(const fs::path& path, std::uintmax_t limit)
{
    if (fs::file_size(path) > limit) {
        throw std::length_error("file beyond the handset's limits");
    }
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        throw std::runtime_error("cannot read the file");
    }
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(stream),
                                     std::istreambuf_iterator<char>());
}

} // namespace

SeedReport seedFromHost(FileSystem& fileSystem, const fs::path& hostDirectory,
                        std::u16string_view handsetDirectory)
{
    SeedReport report;
    std::u16string base(handsetDirectory);
    if (base.empty() || base.back() != u'/') {
        base += u'/';
    }
    // Parents come before their entries, so every directory exists before its
    // files arrive and keeps the mode and time it was seeded with.
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(
             hostDirectory, fs::directory_options::skip_permission_denied)) {
        try {
            const std::u16string path =
                base + entry.path().lexically_relative(hostDirectory).generic_u16string();
            if (entry.is_symlink()) {
                // Kept as a link with its target as written, and the time of
                // what it points at when that exists.
                const bool dangling = !fs::exists(entry.status());
                fileSystem.addLink(path, fs::read_symlink(entry.path()).generic_u16string(),
                                   dangling ? std::nullopt
                                            : std::optional<std::uint32_t>(hostTime(entry.path())));
                ++report.links;
                continue;
            }
            const fs::file_status status = entry.status();
            if (fs::is_directory(status)) {
                fileSystem.addDirectory(path, hostPermissions(status), hostTime(entry.path()));
                ++report.directories;
            } else if (fs::is_regular_file(status)) {
                fileSystem.addFile(path, hostBytes(entry.path(), fileSystem.limits().maxFileSize),
                                   hostPermissions(status), hostTime(entry.path()));
                ++report.files;
            } else {
                report.skipped.push_back(entry.path());
            }
        } catch (const std::exception&) {
            report.skipped.push_back(entry.path());
        }
    }
    return report;
}

} // namespace Emulator
