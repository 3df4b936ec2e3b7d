#include "tools/vornak-efs/mount/AttributeCache.h"

#include <algorithm>
#include <utility>

namespace VornakEfs::Mount {

AttributeCache::AttributeCache(Clock::duration lifetime, Now now)
    : lifetime_(lifetime)
    , now_(std::move(now))
{}

const AttributeCache::Known* AttributeCache::find(std::string_view path)
{
    const auto found = known_.find(path);
    if (found == known_.end()) {
        return nullptr;
    }
    if (found->second.expires <= now_()) {
        known_.erase(found);
        return nullptr;
    }
    return &found->second.known;
}

void AttributeCache::store(const std::string& path, const Attributes& attributes)
{
    if (!enabled()) {
        return;
    }
    const Clock::time_point now = now_();
    if (known_.size() >= sweepAt_) {
        dropExpired(now);
    }
    known_.insert_or_assign(path, Entry{Known{attributes, std::nullopt}, now + lifetime_});
}

void AttributeCache::storeLinkTarget(const std::string& path, std::string target)
{
    if (const auto found = known_.find(path); found != known_.end()) {
        found->second.known.linkTarget = std::move(target);
    }
}

void AttributeCache::forget(std::string_view path)
{
    if (path == "/") {
        known_.clear();
        return;
    }
    known_.erase(std::string(parentOf(path)));
    // The names below `path` are the keys from "path/" up to "path0", '0'
    // being the character after '/'.
    std::string below(path);
    known_.erase(below);
    below += '/';
    const auto first = known_.lower_bound(below);
    below.back() = '0';
    known_.erase(first, known_.lower_bound(below));
}

void AttributeCache::dropExpired(Clock::time_point now)
{
    std::erase_if(known_, [&](const auto& entry) { return entry.second.expires <= now; });
    sweepAt_ = std::max(kFirstSweep, known_.size() * 2);
}

std::string_view parentOf(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string_view::npos ? std::string_view("/")
                                                         : path.substr(0, slash);
}

std::string childOf(std::string_view directory, std::string_view name)
{
    std::string path(directory);
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    return path += name;
}

} // namespace VornakEfs::Mount
