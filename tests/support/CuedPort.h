// A diagnostic port in front of another that does things on cue: runs
// something just before the nth request of a command (a fault queued in the
// middle of a copy) and can fall silent, every request then failing as an
// unanswered one does. Safe to share between threads: a mount serves on one
// while the test sets cues on another. The emulated handset counts what it
// answers (Handset::requestCounts, and efs2Sent below).
#pragma once

#include "comserver/ComObject.h"
#include "diag/PortInterfaces.h"
#include "diag/ReservedSlots.h"
#include "emulator/Handset.h"
#include "platform/ComPtr.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <utility>
#include <vector>

namespace TestSupport {

// The EFS2 requests a handset answered between two of its counts, by
// command; commands it answered none of are left out.
using Efs2Sent = std::map<std::uint16_t, std::uint64_t>;
inline Efs2Sent efs2Sent(const Emulator::Handset::RequestCounts& before,
                         const Emulator::Handset::RequestCounts& after)
{
    Efs2Sent sent;
    for (std::uint16_t command = 0; command < after.efs2.size(); ++command) {
        if (const std::uint64_t count = after.of(command) - before.of(command); count != 0) {
            sent[command] = count;
        }
    }
    return sent;
}

class CuedPort final : public ComServer::ComObject<CuedPort, IDiagPort> {
public:
    // HRESULT_FROM_WIN32(ERROR_TIMEOUT), as a port reports a handset that
    // did not answer.
    static constexpr HRESULT kTimedOut = static_cast<HRESULT>(0x800705B4u);

    static Platform::ComPtr<CuedPort> create(Platform::ComPtr<IDiagPort> inner)
    {
        return make(std::move(inner));
    }

    static std::span<const ComServer::InterfaceEntry<CuedPort>> interfaceTable()
    {
        static constexpr ComServer::InterfaceEntry<CuedPort> table[] = {
            ComServer::interfaceEntry<CuedPort, IDiagPort>(IID_IDiagPort),
        };
        return table;
    }

    // Runs `prepare` just before the `nth` request of `command` from now on
    // (1 is the next) goes on.
    void before(std::uint16_t command, std::uint64_t nth, std::function<void()> prepare)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cues_.push_back({command, seen_[command] + nth, std::move(prepare)});
    }
    // From now on every request fails as an unanswered one does, until
    // called again with false.
    void fallSilent(bool silent)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        silent_ = silent;
    }

    VORNAK_RESERVED_SLOTS_1_TO_3
    HRESULT STDMETHODCALLTYPE SendRequest(ULONG length, const BYTE* request, ULONG constant1,
                                          ULONG constant0, ULONG timeout, USHORT* responseLength,
                                          BYTE* response) override
    {
        std::function<void()> prepare;
        if (request != nullptr && length >= 4) {
            const auto command = static_cast<std::uint16_t>(request[2] | request[3] << 8);
            std::lock_guard<std::mutex> lock(mutex_);
            const std::uint64_t count = ++seen_[command];
            const auto cue = std::find_if(cues_.begin(), cues_.end(), [&](const Cue& c) {
                return c.command == command && c.at == count;
            });
            if (cue != cues_.end()) {
                prepare = std::move(cue->prepare);
                cues_.erase(cue);
            }
        }
        if (prepare) {
            prepare();
        }
        bool silent = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            silent = silent_;
        }
        if (silent) {
            if (responseLength != nullptr) {
                *responseLength = 0;
            }
            return kTimedOut;
        }
        return inner_->SendRequest(length, request, constant1, constant0, timeout, responseLength,
                                   response);
    }

private:
    friend ComObject;
    explicit CuedPort(Platform::ComPtr<IDiagPort> inner)
        : inner_(std::move(inner))
    {}

    struct Cue {
        std::uint16_t command;
        std::uint64_t at;
        std::function<void()> prepare;
    };

    Platform::ComPtr<IDiagPort> inner_;
    std::mutex mutex_;
    std::map<std::uint16_t, std::uint64_t> seen_; // requests so far, by command
    std::vector<Cue> cues_;
    bool silent_ = false;
};

} // namespace TestSupport
