// The one handset of the port server's process and the log of its port.
//
// Every object the server hands out keeps it: the emulator's port, item
// services and log sinks hold the handset or the log through shared pointers
// that share this object's count, and the server objects hold it directly. So
// it lives exactly as long as a client holds anything of the server, and for
// that long it keeps a reference on the process.
#pragma once

#include "ServerProcess.h"
#include "emulator/Handset.h"
#include "emulator/LogBook.h"

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>

namespace PortServerProgram {

class ServedHandset {
public:
    ServedHandset(ServerProcess& process, Emulator::FileSystem fileSystem);
    ServedHandset(const ServedHandset&) = delete;
    ServedHandset& operator=(const ServedHandset&) = delete;

    // The handset and the log, owned with `served`.
    static std::shared_ptr<Emulator::Handset>
    sharedHandset(const std::shared_ptr<ServedHandset>& served);
    static std::shared_ptr<Emulator::LogBook>
    sharedLog(const std::shared_ptr<ServedHandset>& served);

    Emulator::Handset& handset() { return handset_; }
    Emulator::LogBook& log() { return log_; }

private:
    // Released last, when the handset and the log are gone: the process may
    // end as soon as it is.
    ServerProcess::Reference reference_;
    Emulator::Handset handset_;
    Emulator::LogBook log_;
};

// Makes the process's handset at the first activation, filled from the seed
// directory when there is one, and hands out the same one while it lives.
class HandsetSource {
public:
    HandsetSource(ServerProcess& process, std::optional<std::filesystem::path> seed);

    // The handset; else CO_E_SERVER_STOPPING once it is gone (the process is
    // ending), or the failure to read the seed directory.
    HRESULT acquire(std::shared_ptr<ServedHandset>& served);

private:
    ServerProcess& process_;
    std::optional<std::filesystem::path> seed_;
    std::mutex mutex_;
    std::weak_ptr<ServedHandset> current_;
    bool made_ = false;
};

} // namespace PortServerProgram
