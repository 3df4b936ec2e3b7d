#include "tools/vornak-efs/ModeChange.h"

#include "diag/Efs2.h"
#include "tools/vornak-efs/Failure.h"

#include <string>

namespace VornakEfs {

namespace {

// The permission bits by class and kind, as POSIX lays them out.
constexpr std::uint16_t kUser = 04700;
constexpr std::uint16_t kGroup = 02070;
constexpr std::uint16_t kOthers = 01007;
constexpr std::uint16_t kEveryone = kUser | kGroup | kOthers;
constexpr std::uint16_t kRead = 0444;
constexpr std::uint16_t kWrite = 0222;
constexpr std::uint16_t kExecute = 0111;
constexpr std::uint16_t kSetId = 06000;
constexpr std::uint16_t kSticky = 01000;

[[noreturn]] void notAMode(std::string_view text)
{
    throw Failure(kUsage, "'" + std::string(text) +
                              "' is not a mode: write it in octal (644) or as changes "
                              "(u+x, go-w, a=r)");
}

} // namespace

ModeChange ModeChange::parse(std::string_view text)
{
    ModeChange change;
    if (!text.empty() && text.find_first_not_of("01234567") == std::string_view::npos) {
        if (text.size() > 4) {
            notAMode(text);
        }
        for (const char digit : text) {
            change.absolute_ = static_cast<std::uint16_t>(change.absolute_ * 8 + (digit - '0'));
        }
        return change;
    }
    std::size_t at = 0;
    // Clauses separated by commas: who, then one or more operations with
    // their permissions.
    do {
        std::uint16_t who = 0;
        for (;
             at < text.size() && std::string_view("ugoa").find(text[at]) != std::string_view::npos;
             ++at) {
            who |= text[at] == 'u'   ? kUser
                   : text[at] == 'g' ? kGroup
                   : text[at] == 'o' ? kOthers
                                     : kEveryone;
        }
        if (who == 0) {
            who = kEveryone;
        }
        if (at == text.size() || std::string_view("+-=").find(text[at]) == std::string_view::npos) {
            notAMode(text);
        }
        while (at < text.size() &&
               std::string_view("+-=").find(text[at]) != std::string_view::npos) {
            const char operation = text[at++];
            std::uint16_t bits = 0;
            for (; at < text.size() && text[at] != ',' &&
                   std::string_view("+-=").find(text[at]) == std::string_view::npos;
                 ++at) {
                switch (text[at]) {
                case 'r':
                    bits |= kRead;
                    break;
                case 'w':
                    bits |= kWrite;
                    break;
                case 'x':
                    bits |= kExecute;
                    break;
                case 's':
                    bits |= kSetId;
                    break;
                case 't':
                    bits |= kSticky;
                    break;
                default:
                    notAMode(text);
                }
            }
            change.clauses_.push_back({who, operation, static_cast<std::uint16_t>(bits & who)});
        }
    } while (at < text.size() && text[at++] == ',' && at < text.size());
    if (at != text.size() || text.empty() || text.back() == ',') {
        notAMode(text);
    }
    return change;
}

std::uint16_t ModeChange::applyTo(std::uint32_t mode) const
{
    if (clauses_.empty()) {
        return absolute_;
    }
    auto bits = static_cast<std::uint16_t>(mode & Diag::Efs2::kModePermissionMask);
    for (const Clause& clause : clauses_) {
        switch (clause.operation) {
        case '+':
            bits = static_cast<std::uint16_t>(bits | clause.bits);
            break;
        case '-':
            bits = static_cast<std::uint16_t>(bits & ~clause.bits);
            break;
        default:
            bits = static_cast<std::uint16_t>((bits & ~clause.who) | clause.bits);
            break;
        }
    }
    return bits;
}

} // namespace VornakEfs
