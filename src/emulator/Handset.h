// An emulated handset: answers the whole diagnostic protocol as a device
// does. EFS2 requests (the subsystem dispatch on subsystem 19 or 62) go to its
// file system (FileCommands); the general requests that clients send at
// start-up are answered for real (GeneralCommands); anything else gets "bad
// command" with the request echoed, never an EFS2 packet.
//
// It answers into a buffer of its own, sized for its longest response, and
// copies the answer into the caller's buffer: a request costs no heap
// allocation (the file system's own growth aside: a new name, a file's
// bytes, a listing's snapshot). A script of faults can change or replace any
// answer.
//
// Every public function takes the handset's one lock, so any number of ports
// and threads may share a handset. Nothing is global: each handset is
// independent.
#pragma once

#include "emulator/Fault.h"
#include "emulator/FileCommands.h"
#include "emulator/FileSystem.h"
#include "emulator/GeneralCommands.h"

#include <array>
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
    // The length of the response, whether or not it fitted the caller's buffer.
    std::size_t length = 0;
    // A fault for the port to act out (latency, failure, exception, silence).
    std::optional<Fault> portFault;
};

class Handset {
public:
    // The longest request the handset takes; a longer one is refused as "bad
    // length" with its first kMaxRequest bytes echoed.
    static constexpr std::size_t kMaxRequest = 4096;

    // A handset whose EFS is `fileSystem`, with no descriptor open and no fault queued.
    explicit Handset(FileSystem fileSystem = FileSystem());
    Handset(const Handset&) = delete;
    Handset& operator=(const Handset&) = delete;
    ~Handset();

    // One request as the port carries it: the handset's response, changed or
    // replaced by the first queued fault that applies to it, copied into
    // `response` when it fits there (and else not at all).
    Exchange exchange(std::span<const std::uint8_t> request, std::span<std::uint8_t> response);
    // The handset's response to one request, faults aside, as a new vector.
    std::vector<std::uint8_t> respond(std::span<const std::uint8_t> request);
    // The room that holds any response the handset sends, faults that
    // lengthen it included.
    std::size_t responseCapacity() const { return buffer_.size(); }

    // Adds a fault at the end of the script.
    void queueFault(const Fault& fault);
    // Drops every fault not yet applied.
    void clearFaults();
    // Faults still waiting for their request.
    std::size_t pendingFaults() const;

    // Descriptors and directory handles open now.
    std::size_t openDescriptors() const;
    std::size_t openDirectories() const;

    // The requests the handset has answered since it was made: all of them,
    // and the EFS2 ones by command code (faults that keep a request from the
    // handset keep it from the counts too). How benchmarks see what a client
    // sent.
    struct RequestCounts {
        std::uint64_t all = 0;
        std::array<std::uint64_t, 64> efs2{}; // commands from 63 on count in the last
        std::uint64_t of(std::uint16_t command) const
        {
            return efs2[command < efs2.size() ? command : efs2.size() - 1];
        }
    };
    RequestCounts requestCounts() const;

    // Whole files by host path (UTF-16, stored as the client sends it), for
    // the item service: 0 or a device error number.
    std::uint32_t readFile(std::u16string_view path, std::vector<std::uint8_t>& bytes) const;
    // Creates the file (mode 0666) or replaces its content, or an item file's.
    std::uint32_t writeFile(std::u16string_view path, std::span<const std::uint8_t> bytes);
    std::uint32_t stat(std::u16string_view path, Attributes& attributes) const;

    // Runs `change` on the file system under the handset's lock and returns its result.
    template <class Change>
    decltype(auto) edit(Change&& change)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return change(files_.fileSystem());
    }

private:
    void answer(std::span<const std::uint8_t> request, Reply& reply);
    std::optional<Fault> takeFault(std::span<const std::uint8_t> request);
    static void damage(Reply& reply, std::span<const std::uint8_t> request, const Fault& fault);
    std::uint32_t storedPath(std::u16string_view path, std::string& stored) const;

    mutable std::mutex mutex_;
    FileCommands files_;
    GeneralCommands general_;
    std::deque<Fault> faults_;
    RequestCounts counts_;
    std::vector<std::uint8_t> buffer_; // the response being made
};

} // namespace Emulator
