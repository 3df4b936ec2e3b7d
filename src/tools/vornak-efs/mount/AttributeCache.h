// What the handset last said of names, kept for a short time: the kernel
// asks for the attributes of every name a listing showed, and a listing has
// already told them, so those lookups need not reach the handset again.
//
// Keys are the mount's paths ("/", "/data/x"), as the kernel hands them over.
// A change made through the mount forgets what it touched before it is made,
// so nothing stale outlives it; changes made on the handset by anyone else
// show once the lifetime has passed.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace VornakEfs::Mount {

// What a listing, LSTAT, STAT or FSTAT told of one name. The mode is the
// handset's, type bits included.
struct Attributes {
    std::uint32_t mode = 0;
    std::uint32_t size = 0;
    std::uint32_t linkCount = 1;
    std::uint32_t accessTime = 0;
    std::uint32_t modificationTime = 0;
    std::uint32_t changeTime = 0;
};

class AttributeCache {
public:
    using Clock = std::chrono::steady_clock;
    using Now = std::function<Clock::time_point()>;

    // Keeps what it is told for `lifetime`; a lifetime of 0 keeps nothing.
    explicit AttributeCache(Clock::duration lifetime, Now now = Clock::now);

    struct Known {
        Attributes attributes;
        std::optional<std::string> linkTarget; // UTF-8, once READLINK told it
    };
    // What is known of `path`, if it was told less than the lifetime ago.
    const Known* find(std::string_view path);
    void store(const std::string& path, const Attributes& attributes);
    // Adds a symbolic link's target to what is known of it.
    void storeLinkTarget(const std::string& path, std::string target);
    // Forgets `path`, every name below it, and its directory (whose times
    // and listing a change of `path` changes too).
    void forget(std::string_view path);

    bool enabled() const { return lifetime_ > Clock::duration::zero(); }
    std::size_t size() const { return known_.size(); }

private:
    struct Entry {
        Known known;
        Clock::time_point expires;
    };
    void dropExpired(Clock::time_point now);

    Clock::duration lifetime_;
    Now now_;
    std::map<std::string, Entry, std::less<>> known_;
    std::size_t sweepAt_ = kFirstSweep;
    static constexpr std::size_t kFirstSweep = 4096;
};

// The directory that holds `path` ("/" for "/x" and for "/").
std::string_view parentOf(std::string_view path);
// `directory` and `name` joined with one "/".
std::string childOf(std::string_view directory, std::string_view name);

} // namespace VornakEfs::Mount
