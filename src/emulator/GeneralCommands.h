// The general requests of the diagnostic protocol, as a handset answers
// them: those that diagnostic clients send before their first EFS2 command
// (version, build id, log and message configuration, NV items, the service
// code and password), and "bad command" with the request echoed for every
// other one. docs/protocol.md has the layouts and their sources.
//
// The emulated handset keeps no logs and no messages: every log mask has no
// items, every message range is accepted and none is sent. NV items it keeps
// once written; the others read as "not active". It has no lock, so any
// service code and password is accepted.
#pragma once

#include "diag/General.h"
#include "emulator/Packet.h"

#include <array>
#include <cstdint>
#include <map>

namespace Emulator {

class GeneralCommands {
public:
    // What the version and build id answers say of the handset.
    static constexpr char kModel[] = "EMULATOR"; // 8 characters, as the version has room for
    static constexpr char kBuildId[] = "VORNAK.EMULATED.HANDSET.1";
    static constexpr char kModelName[] = "Vornak emulated handset";
    static constexpr std::uint32_t kEquipmentIds = 16; // log equipment ids 0 to 15

    // Answers `request` (not a subsystem dispatch) into `reply`.
    void answer(const Request& request, Reply& reply);

private:
    static void version(const Request& request, Reply& reply);
    static void buildId(const Request& request, Reply& reply);
    static void logConfig(const Request& request, Reply& reply);
    static void messageConfig(const Request& request, Reply& reply);
    void nvItem(const Request& request, Reply& reply);
    static void accept(const Request& request, std::size_t size, Reply& reply);

    std::map<std::uint16_t, std::array<std::uint8_t, Diag::General::kNvDataSize>> nvItems_;
};

} // namespace Emulator
