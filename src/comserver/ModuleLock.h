// The lock count of the module this code is linked into: its live objects and
// the class-object locks its clients hold. DllCanUnloadNow reads it; each
// module (a DLL or a program) keeps its own.
#pragma once

#include "platform/Com.h"

#include <atomic>

namespace ComServer {

class ModuleLock {
public:
    static void lock() noexcept { count_.fetch_add(1); }
    static void unlock() noexcept { count_.fetch_sub(1); }
    static LONG count() noexcept { return count_.load(); }

private:
    static inline std::atomic<LONG> count_ = 0;
};

} // namespace ComServer
