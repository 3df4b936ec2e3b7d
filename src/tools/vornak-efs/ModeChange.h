// The MODE of chmod as people write it: octal digits (644, 2755), or changes
// as chmod(1) takes them (u+x, go-w, a=r, u+x,g-w). Changes apply to the
// mode a name has; digits replace it.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace VornakEfs {

class ModeChange {
public:
    // Throws Failure (a usage error) for text that is no mode.
    static ModeChange parse(std::string_view text);

    // The permission bits (07777) of a name whose mode is `mode` after the change.
    std::uint16_t applyTo(std::uint32_t mode) const;
    // Whether the change depends on the mode it applies to.
    bool isRelative() const { return !clauses_.empty(); }

private:
    struct Clause {
        std::uint16_t who;  // the bits of the classes named: u 04700, g 02070, o 01007
        char operation;     // '+', '-' or '='
        std::uint16_t bits; // the permissions named, within `who`
    };

    std::uint16_t absolute_ = 0;
    std::vector<Clause> clauses_;
};

} // namespace VornakEfs
