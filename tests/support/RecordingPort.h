// A diagnostic port for tests in front of another: it keeps a copy of every
// request, reads back the paths they name, lets a chosen request meet
// something first (a fault queued on the handset) and can refuse a query for
// IDiagPort. It lends out the inner port's identity and server-port faces
// too, so the device files' log still reaches the inner port's log.
#pragma once

#include "comserver/ComObject.h"
#include "diag/Efs2.h"
#include "diag/PortInterfaces.h"
#include "diag/ReservedSlots.h"
#include "platform/ComPtr.h"
#include "support/Packet.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace TestSupport {

class RecordingPort final : public ComServer::ComObject<RecordingPort, IDiagPort> {
public:
    using Strings = std::vector<std::string>;

    static Platform::ComPtr<RecordingPort> create(IDiagPort* inner) { return make(inner); }

    static std::span<const ComServer::InterfaceEntry<RecordingPort>> interfaceTable()
    {
        static constexpr ComServer::InterfaceEntry<RecordingPort> table[] = {
            ComServer::interfaceEntry<RecordingPort, IDiagPort>(IID_IDiagPort),
        };
        return table;
    }

    // The command of a request.
    static std::uint16_t commandOf(const Bytes& request)
    {
        return static_cast<std::uint16_t>(request[2] | request[3] << 8);
    }
    // The paths a request names, as sent: two for RENAME, one for the other
    // commands on a path, none for those on a descriptor.
    static Strings pathsOf(const Bytes& request)
    {
        using namespace Diag::Efs2;
        const std::uint16_t command = commandOf(request);
        const Command withPath[] = {Open, MkDir, Unlink, RmDir, OpenDir, Rename, LStat};
        Strings paths;
        if (std::find(std::begin(withPath), std::end(withPath), command) != std::end(withPath)) {
            // Each path ends with its NUL; RENAME's second follows the first.
            auto text = reinterpret_cast<const char*>(request.data()) + (command == Open    ? 12
                                                                         : command == MkDir ? 6
                                                                                            : 4);
            for (int n = command == Rename ? 2 : 1; n > 0; --n) {
                text += paths.emplace_back(text).size() + 1;
            }
        }
        return paths;
    }

    // The commands of the requests so far, in order.
    std::vector<std::uint16_t> commands() const
    {
        std::vector<std::uint16_t> result;
        for (const Bytes& request : requests) {
            result.push_back(commandOf(request));
        }
        return result;
    }
    // The first path of each request of `command`.
    Strings paths(std::uint16_t command) const
    {
        Strings result;
        for (const Bytes& request : requests) {
            if (commandOf(request) == command) {
                result.push_back(pathsOf(request).front());
            }
        }
        return result;
    }

    // Runs `prepare` just before the next request of `command` for `path` goes on.
    void before(std::uint16_t command, std::string path, std::function<void()> prepare)
    {
        traps_.push_back({command, std::move(path), std::move(prepare)});
    }
    // The `nth` query for IDiagPort from now on (1 is the next) answers `hr`.
    void refuseQuery(int nth, HRESULT hr)
    {
        refusalIn_ = nth;
        refusal_ = hr;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (object != nullptr && IsEqualIID(iid, IID_IDiagPort) && refusalIn_ > 0 &&
            --refusalIn_ == 0) {
            *object = nullptr;
            return refusal_;
        }
        // A test double may bend the identity rule this far.
        if (object != nullptr &&
            (IsEqualIID(iid, IID_IServerPort) || IsEqualIID(iid, IID_IPortIdentity))) {
            return inner_->QueryInterface(iid, object);
        }
        return ComObject::QueryInterface(iid, object);
    }
    VORNAK_RESERVED_SLOTS_1_TO_3
    HRESULT STDMETHODCALLTYPE SendRequest(ULONG length, const BYTE* request, ULONG constant1,
                                          ULONG constant0, ULONG timeout, USHORT* responseLength,
                                          BYTE* response) override
    {
        if (request != nullptr && length >= 4) {
            const Bytes& sent = requests.emplace_back(request, request + length);
            const auto trap = std::find_if(traps_.begin(), traps_.end(), [&](const Trap& t) {
                return t.command == commandOf(sent) && pathsOf(sent) == Strings{t.path};
            });
            if (trap != traps_.end()) {
                const std::function<void()> prepare = std::move(trap->prepare);
                traps_.erase(trap);
                prepare();
            }
        }
        return inner_->SendRequest(length, request, constant1, constant0, timeout, responseLength,
                                   response);
    }

    std::vector<Bytes> requests;

private:
    friend ComObject;
    explicit RecordingPort(IDiagPort* inner)
        : inner_(inner)
    {}

    struct Trap {
        std::uint16_t command;
        std::string path;
        std::function<void()> prepare;
    };

    Platform::ComPtr<IDiagPort> inner_;
    std::vector<Trap> traps_;
    int refusalIn_ = 0;
    HRESULT refusal_ = S_OK;
};

} // namespace TestSupport
