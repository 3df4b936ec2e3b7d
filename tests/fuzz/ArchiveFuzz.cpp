// Malformed archives into what restore and diff read them with: any bytes
// must come out as entries, refusals or ArchiveError, and every entry that
// passes must name a place below the destination, name for name.
#include "tools/vornak-efs/Archive.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>
#include <vector>

namespace {

// The names of a relative path; none for "".
std::vector<std::string_view> namesOf(std::string_view path)
{
    std::vector<std::string_view> names;
    for (std::size_t start = 0; !path.empty();) {
        const std::size_t slash = path.find('/', start);
        names.push_back(path.substr(start, slash == std::string_view::npos ? slash : slash - start));
        if (slash == std::string_view::npos) {
            break;
        }
        start = slash + 1;
    }
    return names;
}

// Whether `path` names a place below the destination, one name after another.
bool staysBelow(std::string_view path)
{
    for (const std::string_view name : namesOf(path)) {
        if (name.empty() || name == "." || name == ".." ||
            name.find('\0') != std::string_view::npos) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using VornakEfs::ArchiveReader;
    try {
        ArchiveReader reader(std::span(data, size), ArchiveReader::Limits{});
        std::uint8_t buffer[4096];
        for (int entries = 0; entries < 1000; ++entries) {
            const ArchiveReader::Next next = reader.next();
            if (next.end) {
                break;
            }
            if (next.isMissingList || !next.refusal.empty()) {
                continue;
            }
            const VornakEfs::ArchiveEntry& entry = next.entry;
            if (!staysBelow(entry.path) || !staysBelow(entry.handsetPath) ||
                namesOf(entry.path).size() != namesOf(entry.handsetPath).size() ||
                entry.handsetPath.size() + 1 > ArchiveReader::Limits{}.maxPath) {
                std::abort();
            }
            std::uint64_t read = 0;
            for (std::size_t got; (got = reader.read(buffer, sizeof buffer)) > 0;) {
                read += got;
            }
            if (read > entry.size) {
                std::abort();
            }
        }
    } catch (const VornakEfs::ArchiveError&) {
        // Malformed or cut short: refused as a whole.
    }
    return 0;
}
