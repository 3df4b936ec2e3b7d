// A diagnostic port in front of another that counts the requests of each
// command, can run something just before the nth request of a command (a
// fault queued in the middle of a copy) and can hold every request back for
// a while (a slow line). Safe to share between threads: a mount serves on one
// while the test counts on another.
#pragma once

#include "comserver/ComObject.h"
#include "diag/PortInterfaces.h"
#include "diag/ReservedSlots.h"
#include "platform/ComPtr.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <thread>
#include <utility>
#include <vector>

namespace TestSupport {

class CountingPort final : public ComServer::ComObject<CountingPort, IDiagPort> {
public:
    using Counts = std::map<std::uint16_t, std::uint64_t>; // by command

    // HRESULT_FROM_WIN32(ERROR_TIMEOUT), as a port reports a handset that
    // did not answer.
    static constexpr HRESULT kTimedOut = static_cast<HRESULT>(0x800705B4u);

    static Platform::ComPtr<CountingPort> create(Platform::ComPtr<IDiagPort> inner)
    {
        return make(std::move(inner));
    }

    static std::span<const ComServer::InterfaceEntry<CountingPort>> interfaceTable()
    {
        static constexpr ComServer::InterfaceEntry<CountingPort> table[] = {
            ComServer::interfaceEntry<CountingPort, IDiagPort>(IID_IDiagPort),
        };
        return table;
    }

    Counts counts() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return counts_;
    }
    std::uint64_t total() const
    {
        std::uint64_t sum = 0;
        for (const auto& [command, count] : counts()) {
            sum += count;
        }
        return sum;
    }
    void reset()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        counts_.clear();
    }
    // Runs `prepare` just before the `nth` request of `command` from now on
    // (1 is the next) goes on.
    void before(std::uint16_t command, std::uint64_t nth, std::function<void()> prepare)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        traps_.push_back({command, counts_[command] + nth, std::move(prepare)});
    }
    // From now on every request fails as an unanswered one does, until
    // called again with false.
    void fallSilent(bool silent)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        silent_ = silent;
    }
    // Every request waits `delay` before it goes on.
    void delayEach(std::chrono::microseconds delay)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        delay_ = delay;
    }

    VORNAK_RESERVED_SLOTS_1_TO_3
    HRESULT STDMETHODCALLTYPE SendRequest(ULONG length, const BYTE* request, ULONG constant1,
                                          ULONG constant0, ULONG timeout, USHORT* responseLength,
                                          BYTE* response) override
    {
        std::function<void()> prepare;
        std::chrono::microseconds delay{};
        bool silent = false;
        if (request != nullptr && length >= 4) {
            const auto command = static_cast<std::uint16_t>(request[2] | request[3] << 8);
            std::lock_guard<std::mutex> lock(mutex_);
            const std::uint64_t count = ++counts_[command];
            for (auto trap = traps_.begin(); trap != traps_.end(); ++trap) {
                if (trap->command == command && trap->at == count) {
                    prepare = std::move(trap->prepare);
                    traps_.erase(trap);
                    break;
                }
            }
            delay = delay_;
        }
        if (prepare) {
            prepare();
        }
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
        if (delay.count() > 0) {
            std::this_thread::sleep_for(delay);
        }
        return inner_->SendRequest(length, request, constant1, constant0, timeout, responseLength,
                                   response);
    }

private:
    friend ComObject;
    explicit CountingPort(Platform::ComPtr<IDiagPort> inner)
        : inner_(std::move(inner))
    {}

    struct Trap {
        std::uint16_t command;
        std::uint64_t at;
        std::function<void()> prepare;
    };

    Platform::ComPtr<IDiagPort> inner_;
    mutable std::mutex mutex_;
    Counts counts_;
    std::vector<Trap> traps_;
    std::chrono::microseconds delay_{};
    bool silent_ = false;
};

} // namespace TestSupport
