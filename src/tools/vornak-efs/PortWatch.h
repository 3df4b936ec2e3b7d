// A diagnostic port in front of another that remembers how the last failed
// call failed, and how the handset answered the last call that went through.
// The transaction layer reports every failing port call with one code; this
// is what lets the tool tell a handset that stopped answering from a serial
// line that broke, and a handset that lacks a command from one that failed it.
#pragma once

#include "comserver/ComObject.h"
#include "diag/PortInterfaces.h"
#include "diag/ReservedSlots.h"
#include "platform/ComPtr.h"

#include <optional>
#include <span>

namespace VornakEfs {

class PortWatch final : public ComServer::ComObject<PortWatch, IDiagPort> {
public:
    // A new watch in front of `port`, holding one reference for the caller.
    static Platform::ComPtr<PortWatch> create(Platform::ComPtr<IDiagPort> port);

    // The HRESULT of the last call that failed, if any did.
    std::optional<HRESULT> lastFailure() const { return lastFailure_; }

    // What the handset made of the last request the port carried.
    enum class Answer {
        None,        // nothing came back (the call failed), or no call yet
        Answered,    // an answer of the command's own
        Refused,     // bad command, parameters or length, with the request echoed
        ErrorPacket, // the EFS2 error packet, as handsets answer subcommands they lack
    };
    Answer lastAnswer() const { return lastAnswer_; }

    static std::span<const ComServer::InterfaceEntry<PortWatch>> interfaceTable();

    VORNAK_RESERVED_SLOTS_1_TO_3
    // Forwards the call unchanged and notes a failed result.
    HRESULT STDMETHODCALLTYPE SendRequest(ULONG requestLength, const BYTE* request, ULONG constant1,
                                          ULONG constant0, ULONG timeout, USHORT* responseLength,
                                          BYTE* response) override;

private:
    friend ComObject;
    explicit PortWatch(Platform::ComPtr<IDiagPort> port);

    Platform::ComPtr<IDiagPort> port_;
    std::optional<HRESULT> lastFailure_;
    Answer lastAnswer_ = Answer::None;
};

} // namespace VornakEfs
