// An emulated handset: answers EFS2 requests from its in-memory file system,
// byte for byte as a device lays out its responses, with the device's error
// numbers, its descriptor and directory-handle tables, and a script of faults.
//
// Requests it cannot parse, unknown commands and foreign subsystems get the
// error response (75, subsystem, 28, 0, then EINVAL). A response to a known
// command always repeats the request's four header bytes, also when it
// carries a device error.
//
// Every public function takes the handset's one lock, so any number of ports
// and threads may share a handset. Nothing is global: each handset is
// independent.
#pragma once

#include "emulator/Fault.h"
#include "emulator/FileSystem.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace Emulator {

// What one request comes to on its way through the port.
struct Exchange {
    std::vector<std::uint8_t> response;
    // A fault for the port to act out (latency, failure, exception, silence).
    std::optional<Fault> portFault;
};

class Handset {
public:
    // The values HELLO answers with.
    static constexpr std::uint32_t kPacketWindow = 0x100000;
    static constexpr std::uint32_t kByteWindow = 0x100000;
    static constexpr std::uint32_t kVersion = 1;
    static constexpr std::uint32_t kFeatureBits = 0;
    static constexpr std::uint32_t kMaxSymlinkDepth = 0; // the handset keeps no links
    static constexpr std::uint32_t kMounts = 1;

    // A handset whose EFS is `fileSystem`, with no descriptor open and no fault queued.
    explicit Handset(FileSystem fileSystem = FileSystem());
    Handset(const Handset&) = delete;
    Handset& operator=(const Handset&) = delete;
    ~Handset();

    // One request as the port carries it: the handset's response, changed or
    // replaced by the first queued fault that applies to it.
    Exchange exchange(std::span<const std::uint8_t> request);
    // The handset's response to one request; faults play no part.
    std::vector<std::uint8_t> respond(std::span<const std::uint8_t> request);

    // Adds a fault at the end of the script.
    void queueFault(const Fault& fault);
    // Drops every fault not yet applied.
    void clearFaults();
    // Faults still waiting for their request.
    std::size_t pendingFaults() const;

    // Descriptors and directory handles open now.
    std::size_t openDescriptors() const;
    std::size_t openDirectories() const;

    // Whole files by host path (UTF-16, stored as the client sends it), for
    // the item service: 0 or a device error number.
    std::uint32_t readFile(std::u16string_view path, std::vector<std::uint8_t>& bytes) const;
    // Creates the file (mode 0666) or replaces its content.
    std::uint32_t writeFile(std::u16string_view path, std::span<const std::uint8_t> bytes);
    std::uint32_t stat(std::u16string_view path, Attributes& attributes) const;

    // Runs `change` on the file system under the handset's lock and returns its result.
    template <class Change>
    decltype(auto) edit(Change&& change)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return change(fileSystem_);
    }

private:
    struct OpenFile {
        NodePtr file;
        std::uint32_t flags;
    };
    struct OpenDirectory {
        NodePtr directory;
        std::vector<std::string> names; // as they were at OPENDIR
        bool endless = false;           // lists made-up files past its last entry
    };
    class Request;
    using Response = std::vector<std::uint8_t>;

    Response answer(std::span<const std::uint8_t> request);
    std::optional<Fault> takeFault(std::span<const std::uint8_t> request);
    static void damage(Response& response, std::span<const std::uint8_t> request,
                       const Fault& fault);
    // Marks the directory an OPENDIR `response` opened as one that never ends.
    void makeEndless(const Response& response, std::span<const std::uint8_t> request);

    Response hello(const Request& request);
    Response query(const Request& request);
    Response open(const Request& request);
    Response close(const Request& request);
    Response read(const Request& request);
    Response write(const Request& request);
    Response unlink(const Request& request);
    Response makeDirectory(const Request& request);
    Response removeDirectory(const Request& request);
    Response openDirectory(const Request& request);
    Response readDirectory(const Request& request);
    Response closeDirectory(const Request& request);
    Response rename(const Request& request);
    Response linkStat(const Request& request);
    Response fileStat(const Request& request);

    OpenFile* descriptor(std::uint32_t fd);
    OpenDirectory* directoryHandle(std::uint32_t dirp);
    std::uint32_t storedPath(std::u16string_view path, std::string& stored) const;

    mutable std::mutex mutex_;
    FileSystem fileSystem_;
    std::vector<std::optional<OpenFile>> descriptors_;      // fd = index
    std::vector<std::optional<OpenDirectory>> directories_; // dirp = index + 1
    std::deque<Fault> faults_;
};

// The error response to `request`: 75, the request's subsystem when it is 19
// or 62 (else 19), command 28, then `error`.
std::vector<std::uint8_t> errorResponse(std::span<const std::uint8_t> request, std::uint32_t error);

} // namespace Emulator
