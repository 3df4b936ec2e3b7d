// The verbs that ask the handset about itself rather than about names: info
// (the EFS2 session, the file system's limits and the flash device) and df
// (size and use of the file system).
#pragma once

#include "tools/vornak-efs/Session.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace VornakEfs {

// What info gathers. A part the handset does not tell is empty, with the
// reason beside it.
struct HandsetReport {
    std::uint8_t subsystem = 0;
    Diag::Efs::HelloParameters hello;
    std::optional<Diag::Efs::FileSystemLimits> limits;
    std::string limitsFailure;
    std::optional<Diag::Efs::DeviceInfo> device;
    std::string deviceFailure;
};
HandsetReport describeHandset(Session& session);

// What df gathers of the file system that holds one path, in bytes.
struct FileSystemReport {
    std::u16string path;
    Diag::Efs::FileSystemStatus status;
    std::uint64_t size = 0;
    std::uint64_t used = 0;
    std::uint64_t available = 0;
    std::optional<std::uint64_t> usePercent; // none when nothing is used or available
};
// The file systems of the operands (default /).
std::vector<FileSystemReport> describeFileSystems(Session& session,
                                                  const std::vector<std::string>& operands);

// The flash device's kind in words: "NAND", "NOR" or "of unknown kind".
const char* flashKind(const Diag::Efs::DeviceInfo& device);
// The handset's bytes of a name (the flash device's, the file system's type),
// with what is not printable ASCII (a terminal's controls among it) as '?'.
std::string printableBytes(std::string bytes);
// The flash device's size in bytes.
std::uint64_t flashBytes(const Diag::Efs::DeviceInfo& device);

// What HELLO, QUERY and DEV_INFO tell, in plain words. Parts the handset
// does not support are named as such; only a handset without HELLO fails.
void showInfo(Session& session, std::ostream& out);
// A table of the file systems that hold the operands (default /).
void showFileSystems(Session& session, const std::vector<std::string>& operands, std::ostream& out);

} // namespace VornakEfs
