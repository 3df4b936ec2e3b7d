// The handset a command talks to: a serial port, a TCP port that forwards
// one, or the built-in emulated handset filled from a folder of this computer.
#pragma once

#include "diag/PortInterfaces.h"
#include "emulator/Handset.h"
#include "emulator/Line.h"
#include "platform/ComPtr.h"

#include <iosfwd>
#include <memory>
#include <string>

namespace VornakEfs {

struct Options;

// A handset whose file system is a copy of the folder `folder` (UTF-8; empty:
// an empty file system). What the copy leaves out is listed on `err`.
// Throws Failure (kPortUnavailable) when the folder cannot be read.
std::shared_ptr<Emulator::Handset> seededHandset(const std::string& folder, std::ostream& err);

// The modelled cable of --latency and --baud; null when neither was given.
std::shared_ptr<Emulator::Line> modelledLine(const Options& options);

// The port the options name. Throws Failure: kUsage for a malformed port,
// kPortUnavailable for one that cannot be opened.
Platform::ComPtr<IDiagPort> openPort(const Options& options, std::ostream& err);

} // namespace VornakEfs
