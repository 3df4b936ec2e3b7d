// The kind of root a parsed path begins with.
#pragma once

#include <cstdint>

namespace System {

enum class RootType : std::uint32_t {
    Relative = 0, // no root; also the empty path
    Absolute = 1, // one separator: "/"
    Volume = 2,   // a drive letter, ":" and a separator: "C:\" (host paths only)
    Network = 3,  // two separators, a server and a share: "//server/share/"
};

} // namespace System
