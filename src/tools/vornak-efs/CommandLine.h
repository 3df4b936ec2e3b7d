// The command line of vornak-efs: global options, one verb, its options and
// operands. Help and version are printed here; so are usage errors.
#pragma once

#include "tools/vornak-efs/Session.h"

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace VornakEfs {

struct Options {
    std::string verb;
    std::string port;     // "serial:<device>[:<baud>]" or "tcp:<host>:<port>"; empty when not given
    std::string emulator; // the host folder that seeds the built-in handset
    bool useEmulator = false;
    std::uint8_t subsystem = 19;
    std::uint32_t timeoutMs = 5000;
    std::size_t listingLimit = Session::kDefaultListingLimit; // entries of one directory
    bool quiet = false;
    bool json = false;        // ls, stat, df and info: one JSON document
    std::uint32_t latencyMs = 0; // --latency: the emulated handset's round trip
    std::uint32_t baud = 0;      // --baud: its line's rate; 0: bytes take no time
    bool longListing = false; // ls -l
    bool recursive = false;   // ls -R, get -r, put -r, rm -r
    bool parents = false;     // mkdir -p
    bool symbolic = false;    // ln -s
    std::string mode;         // chmod MODE
    std::string size;         // truncate -s SIZE
    std::string checkAgainst; // md5sum --check FILE: the local copy
    std::string itemAction;   // item get or item put
    std::string listen;       // serve --listen tcp:<host>:<port>; empty: a pseudo-terminal
    std::string output;       // backup -o FILE
    bool verify = false;      // backup --verify
    bool dryRun = false;      // restore --dry-run
    bool deleteExtra = false; // restore --delete
    // mount MOUNTPOINT
    bool readOnly = false;
    bool foreground = false;
    std::vector<std::string> mountOptions; // -o, passed on to FUSE
    double cacheSeconds = 1;
    std::vector<std::string> operands;
};

struct ParsedCommandLine {
    std::optional<Options> options; // empty when nothing is left to do
    int exitCode = 0;               // when `options` is empty
};

// Parses `arguments` (UTF-8, the program's name first). Help and version go
// to `out`; a usage error goes to `err` and gives exit code 2.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments, std::ostream& out,
                                   std::ostream& err);

} // namespace VornakEfs
