// How vornak-efs fails: one exception with the words for people and the exit
// code for scripts, and the words for what the handset and the port report.
#pragma once

#include "platform/Com.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace VornakEfs {

// The exit codes, as the manual lists them.
enum ExitCode : int {
    kSuccess = 0,
    kHandsetFailure = 1,  // the handset refused or failed an operation
    kUsage = 2,           // the command line is wrong
    kPortUnavailable = 3, // the port could not be opened
    kPortFailure = 4,     // the port failed during an operation: no answer in time, line broken
    kHostFailure = 5,     // a file or folder of this computer could not be read or written
    kNotSupported = 6,    // the handset does not have the command the verb needs
    kInterrupted = 130,   // stopped by Ctrl-C
};

class Failure : public std::runtime_error {
public:
    Failure(ExitCode exitCode, const std::string& message)
        : std::runtime_error(message)
        , exitCode_(exitCode)
    {}

    ExitCode exitCode() const { return exitCode_; }

private:
    ExitCode exitCode_;
};

// The words of the handset's error number `deviceError` ("No such file or
// directory" for 2), or "Unknown device error".
std::string deviceErrorWords(std::uint32_t deviceError);

// The words of a failed port call, with its HRESULT: "The handset did not
// answer within 5000 ms (port error 0x800705B4)".
std::string portFailureWords(HRESULT result, std::uint32_t timeoutMs);

// The words and exit code of a CEFSException `code`. `portResult` is what the
// port's last failing call returned, when the code says the port failed.
struct Description {
    std::string words;
    ExitCode exitCode;
};
Description describeCode(std::uint32_t code, std::optional<HRESULT> portResult,
                         std::uint32_t timeoutMs);

} // namespace VornakEfs
