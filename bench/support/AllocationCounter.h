// Counts the heap allocations of the benchmark program: the program's global
// operator new is replaced by one that counts before it allocates.
#pragma once

#include <cstdint>

namespace Bench {

// Allocations made by any thread since the program started.
std::uint64_t allocationCount();

// While one lives, allocations on its thread are not counted: the benchmarks
// count the client's allocations, not those of the emulated handset it talks to.
class NotCounted {
public:
    NotCounted();
    ~NotCounted();
    NotCounted(const NotCounted&) = delete;
    NotCounted& operator=(const NotCounted&) = delete;
};

// Allocations made between its construction and a call of count().
class AllocationScope {
public:
    AllocationScope()
        : start_(allocationCount())
    {}
    std::uint64_t count() const { return allocationCount() - start_; }

private:
    std::uint64_t start_;
};

} // namespace Bench
