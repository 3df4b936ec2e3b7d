// The progress sink of device file transfers: the write loop reports to it
// after every packet.
#pragma once

#include <cstdint>

namespace Marl::Efs {

class EFSFileProgress {
public:
    virtual ~EFSFileProgress() = default;
    // After every packet written; `threadId` is the writing thread.
    virtual void FileWriteProgress(std::uint32_t bytesSoFar, std::uint32_t bytesTotal,
                                   std::uint32_t threadId) = 0;
    // Part of the interface; no transfer reports reads.
    virtual void FileReadProgress(std::uint32_t bytesSoFar, std::uint32_t bytesTotal,
                                  std::uint32_t threadId) = 0;
};

} // namespace Marl::Efs
