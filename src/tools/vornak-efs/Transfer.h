// get and put: handset files and trees to and from this computer, with the
// destination rules of cp, a progress bar per file on a terminal, and
// transfers that stop cleanly between packets on Ctrl-C.
#pragma once

#include "tools/vornak-efs/Session.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace VornakEfs {

struct TransferOptions {
    bool recursive = false;
    std::FILE* progress = nullptr; // the terminal for progress bars; null: none
    std::ostream* warnings = nullptr;
};

// get SOURCE... [DESTINATION]: handset paths, then a host path (default ".").
void get(Session& session, const std::vector<std::string>& operands,
         const TransferOptions& options);
// put SOURCE... [DESTINATION]: host paths, then a handset path (default "/").
void put(Session& session, const std::vector<std::string>& operands,
         const TransferOptions& options);

// Reads the handset file `path` whole, handing its bytes to `sink` a chunk at
// a time, with a progress bar on `terminal` (null: none). Returns the count.
using ByteSink = std::function<void(const std::uint8_t* bytes, std::size_t count)>;
std::uint64_t readHandsetFile(Session& session, const std::u16string& path, std::FILE* terminal,
                              const ByteSink& sink);

} // namespace VornakEfs
