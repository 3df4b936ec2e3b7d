// Handset responses, any bytes and any reported length, through a port into
// every EFS2 command. Only success or CEFSException may come out; the port
// checks that it is offered the command's buffer and writes no more than that,
// and neither a response longer than the buffer nor one without the request's
// header (a refusal among them) is ever accepted.
//
// Input: command (1 byte), port behaviour (1), reported length (2), READ,
// WRITE, PUT or GET count (2), then the response bytes.
#include "comserver/ComObject.h"
#include "diag/EFSAccess.h"
#include "diag/EFSChmod.h"
#include "diag/EFSClose.h"
#include "diag/EFSCloseDir.h"
#include "diag/EFSDelTree.h"
#include "diag/EFSDevInfo.h"
#include "diag/EFSFStat.h"
#include "diag/EFSFTruncate.h"
#include "diag/EFSGet.h"
#include "diag/EFSLStat.h"
#include "diag/EFSMd5Sum.h"
#include "diag/EFSMkDir.h"
#include "diag/EFSOpen.h"
#include "diag/EFSOpenDir.h"
#include "diag/EFSPut.h"
#include "diag/EFSRead.h"
#include "diag/EFSReadDir.h"
#include "diag/EFSReadLink.h"
#include "diag/EFSRename.h"
#include "diag/EFSRmDir.h"
#include "diag/EFSStat.h"
#include "diag/EFSStatFs.h"
#include "diag/EFSSymlink.h"
#include "diag/EFSTruncate.h"
#include "diag/EFSUnlink.h"
#include "diag/EFSWrite.h"
#include "diag/ReservedSlots.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <stdexcept>
#include <vector>

namespace {

enum Behaviour : std::uint8_t { ReportLength = 1, FailCall = 2, ThrowFromCall = 4 };

// The thirteen, then STAT, CHMOD, SYMLINK, READLINK, STATFS, ACCESS, DEV_INFO,
// DELTREE, TRUNCATE, FTRUNCATE, MD5SUM, PUT and GET.
constexpr std::uint16_t kCapacities[] = {12,   8,   532,  20,   32,   8,    8,    8,    12,
                                         1065, 8,   8,    24,   1030, 1032, 2055, 1033, 1030,
                                         1031, 289, 1032, 1036, 15,   1032, 2066, 1040};
constexpr std::size_t kCommands = sizeof kCapacities / sizeof kCapacities[0];

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

class FuzzPort final : public ComServer::ComObject<FuzzPort, IDiagPort> {
public:
    static std::span<const ComServer::InterfaceEntry<FuzzPort>> interfaceTable()
    {
        static constexpr ComServer::InterfaceEntry<FuzzPort> table[] = {
            ComServer::interfaceEntry<FuzzPort, IDiagPort>(IID_IDiagPort),
        };
        return table;
    }

    VORNAK_RESERVED_SLOTS_1_TO_3
    HRESULT STDMETHODCALLTYPE SendRequest(ULONG requestLength, const BYTE* request, ULONG, ULONG,
                                          ULONG, USHORT* responseLength, BYTE* response) override
    {
        check(requestLength >= 4 && requestLength <= 2065 && request[0] == 75);
        check(*responseLength == capacity_);
        if (behaviour_ & FailCall) {
            return E_FAIL;
        }
        if (behaviour_ & ThrowFromCall) {
            throw std::runtime_error("port");
        }
        const std::size_t written = std::min<std::size_t>(size_, capacity_);
        std::memcpy(response, response_, written);
        *responseLength = (behaviour_ & ReportLength) ? reported_ : static_cast<USHORT>(written);
        lengthReported_ = *responseLength;
        return S_OK;
    }

    // The references others hold.
    ULONG held()
    {
        AddRef();
        return Release() - 1;
    }
    USHORT lengthReported() const { return lengthReported_; }

private:
    friend ComObject;
    FuzzPort(std::uint16_t capacity, std::uint8_t behaviour, std::uint16_t reported,
             const std::uint8_t* response, std::size_t size)
        : capacity_(capacity)
        , behaviour_(behaviour)
        , reported_(reported)
        , response_(response)
        , size_(size)
    {}

    std::uint16_t capacity_;
    std::uint8_t behaviour_;
    std::uint16_t reported_;
    const std::uint8_t* response_;
    std::size_t size_;
    USHORT lengthReported_ = 0;
};

void run(std::size_t command, IUnknown* port, std::uint32_t count)
{
    constexpr std::uint32_t kTimeout = 100;
    constexpr std::uint8_t kSubsystem = 19;
    constexpr std::int32_t kFd = 5;
    constexpr std::uint32_t kDirp = 0x77;
    std::uint32_t f[6] = {};
    switch (command) {
    case 0:
        Diag::Efs::Open(port, kTimeout, kSubsystem).Execute(u"/f", 0, 0444);
        break;
    case 1:
        CEFSClose(port, kTimeout, kSubsystem).Execute(kFd);
        break;
    case 2: {
        // Exactly `count` bytes, so that a copy beyond them is caught.
        const auto buffer = count > 0 ? std::make_unique<std::uint8_t[]>(count) : nullptr;
        check(CEFSRead(port, kTimeout, kSubsystem).Execute(buffer.get(), kFd, count, 0) <= count);
        break;
    }
    case 3: {
        const std::vector<std::uint8_t> data(count, 'w');
        CEFSWrite(port, kTimeout, kSubsystem).Execute(data.data(), kFd, count, 0);
        break;
    }
    case 4:
        CEFSFStat(port, kTimeout, kSubsystem).Execute(kFd, f[0], f[1], f[2], f[3], f[4], f[5]);
        break;
    case 5:
        EFSUnlink(port, kTimeout, kSubsystem).Execute(u"/f");
        break;
    case 6:
        CEFSMkDir(port, kTimeout, kSubsystem).Execute(u"/d", 0666);
        break;
    case 7:
        Diag::Efs::Commands::RmDir(port, kTimeout, kSubsystem).Execute(u"/d");
        break;
    case 8:
        CEFSOpenDir(port, kTimeout, kSubsystem).Execute(u"/d");
        break;
    case 9: {
        std::uint32_t seqno = 1;
        const auto entry = CEFSReadDir(port, kTimeout, kSubsystem).Read(kDirp, seqno);
        check(entry.name().size() <= 1025);
        break;
    }
    case 10:
        CEFSCloseDir(port, kTimeout, kSubsystem).Execute(kDirp);
        break;
    case 11:
        CEFSRename(port, kTimeout, kSubsystem).Execute(u"/a", u"/b");
        break;
    case 12:
        EFSLStat(port, kTimeout, kSubsystem).Execute(u"/d", f[0], f[1], f[2], f[3]);
        break;
    case 13:
        Diag::Efs::Stat(port, kTimeout, kSubsystem).Execute(u"/d");
        break;
    case 14:
        Diag::Efs::Chmod(port, kTimeout, kSubsystem).Execute(u"/d", 0644);
        break;
    case 15:
        Diag::Efs::Symlink(port, kTimeout, kSubsystem).Execute(u"../t", u"/l");
        break;
    case 16:
        check(Diag::Efs::ReadLink(port, kTimeout, kSubsystem).Execute(u"/l").size() <= 1025 * 8);
        break;
    case 17:
        check(Diag::Efs::StatFs(port, kTimeout, kSubsystem).Execute(u"/").type.size() <= 8);
        break;
    case 18:
        Diag::Efs::Access(port, kTimeout, kSubsystem).Execute(u"/d", 4);
        break;
    case 19:
        check(Diag::Efs::DevInfo(port, kTimeout, kSubsystem).Execute().name.size() <= 256);
        break;
    case 20:
        Diag::Efs::DelTree(port, kTimeout, kSubsystem).Execute(u"/d");
        break;
    case 21:
        Diag::Efs::Truncate(port, kTimeout, kSubsystem).Execute(u"/f", count);
        break;
    case 22:
        Diag::Efs::FTruncate(port, kTimeout, kSubsystem).Execute(kFd, count);
        break;
    case 23:
        Diag::Efs::Md5Sum(port, kTimeout, kSubsystem).Execute(u"/f");
        break;
    case 24: {
        const std::vector<std::uint8_t> item(count, 'i');
        Diag::Efs::Put(port, kTimeout, kSubsystem).Execute(u"/i", item, 0x41, 0644);
        break;
    }
    default: {
        // Exactly `count` bytes, so that a copy beyond them is caught.
        const auto buffer = count > 0 ? std::make_unique<std::uint8_t[]>(count) : nullptr;
        check(Diag::Efs::Get(port, kTimeout, kSubsystem).Execute(u"/i", buffer.get(), count) <=
              count);
        break;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 6) {
        return 0;
    }
    const std::size_t command = data[0] % kCommands;
    const std::uint16_t reported = static_cast<std::uint16_t>(data[2] | (data[3] << 8));
    const std::uint32_t count = static_cast<std::uint32_t>(data[4] | (data[5] << 8)) % 1100;
    const auto port = FuzzPort::make(kCapacities[command], data[1], reported, data + 6, size - 6);
    bool accepted = true;
    try {
        run(command, port.get(), count);
    } catch (const CEFSException&) {
        accepted = false;
    }
    check(port->held() == 0);
    if (accepted) {
        check(port->lengthReported() <= kCapacities[command]);
        check(size > 6 && data[6] == 75); // the request's header, never a refusal
    }
    return 0;
}
