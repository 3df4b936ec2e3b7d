// The one exception in which every protocol or device failure leaves the EFS2
// layer and the device file objects: a code, the source file and line of the
// throw site, and a message.
#pragma once

#include "platform/Com.h"

#include <cstdint>
#include <string>

// windows.h makes GetMessage a macro (GetMessageA or GetMessageW), which would
// rename the method only where windows.h is included. It is included by now,
// and its include guards keep the macro from coming back.
#undef GetMessage

// Codes of the system's own failures; device error numbers become codes 2 to 513.
enum EfsErrorCode : std::uint32_t {
    EFSERR_DEVICE_UNKNOWN = 513,      // device error number 512 or more
    EFSERR_BAD_RESPONSE = 514,        // too short, a length the response refuses, or a bad count
    EFSERR_WRONG_HANDLE = 515,        // the response names another descriptor or directory
    EFSERR_PATH_TOO_LONG = 516,       // a path over 1024 bytes after conversion
    EFSERR_READ_NOT_OPEN = 517,       // read or seek on a device file that is not open
    EFSERR_WRITE_NOT_OPEN = 518,      // write on a device file that is not open
    EFSERR_STAT_NOT_OPEN = 520,       // attributes of a device file that is not open
    EFSERR_DETACH_NOT_OPEN = 521,     // detaching a device file that is not open
    EFSERR_ALREADY_OPEN = 522,        // opening a device file or directory that is open
    EFSERR_ATTACH_OPEN = 523,         // attaching a device file that is open
    EFSERR_READ_TOO_LARGE = 524,      // READ of more than 512 bytes requested
    EFSERR_UNEXPECTED_RESPONSE = 525, // another header, and no error response
    EFSERR_WRITE_TOO_LARGE = 527,     // WRITE of more than 512 bytes requested
    EFSERR_WRITE_OFFSET = 528,        // WRITE response for another offset
    EFSERR_PORT_COM = 533,            // the port call failed with a COM error, or no port
    EFSERR_PORT_OTHER = 534,          // the port call failed otherwise
    EFSERR_READ_OFFSET = 539,         // READ response for another offset
    // The later commands, which the handset may lack.
    EFSERR_REFUSED = 540,        // the handset answered bad command, parameters or length
    EFSERR_WRONG_SEQUENCE = 541, // the response repeats another sequence number
    EFSERR_ITEM_TOO_LARGE = 542, // PUT of more than 1024 bytes, or GET of more asked for
};

class CEFSException {
public:
    // `message` is Windows-1252 text; a null `file` leaves the file empty.
    CEFSException(const char* message, std::uint32_t code, std::uint32_t line, const char* file);
    // A device error: the code follows from the device's error number.
    CEFSException(std::uint32_t deviceError, std::uint32_t line, const char* file);
    // `inner` with `prefix` (Windows-1252 text) put before its message, and a
    // space between them when the inner message is not empty.
    CEFSException(const char* prefix, const CEFSException& inner);
    virtual ~CEFSException();

    CEFSException(const CEFSException&) = default;
    CEFSException& operator=(const CEFSException&) = default;

    std::uint32_t GetCode() const { return code_; }
    std::uint32_t GetLine() const { return line_; }
    const std::string& GetFile() const { return file_; }
    // The message as Windows-1252 text.
    std::string GetMessage() const;
    const std::u16string& GetWideMessage() const { return message_; }

    // Whether this is the handset's error number `deviceError` (see DeviceError.h).
    bool IsDeviceError(std::uint32_t deviceError) const
    {
        return code_ == CodeFromDeviceError(deviceError);
    }

    // e + 1 for device errors 1 to 511, 513 above; computed in 32 bits, so
    // 0xFFFFFFFF gives 0.
    static std::uint32_t CodeFromDeviceError(std::uint32_t deviceError);

private:
    std::uint32_t code_;
    std::uint32_t line_;
    std::string file_;
    std::u16string message_;
};
