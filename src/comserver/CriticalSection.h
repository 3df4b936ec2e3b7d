// The platform's critical section, which a thread may enter again while it
// holds it: the lock of the objects whose state must change whole.
#pragma once

#include "platform/Com.h"

namespace ComServer {

// A critical section, entered for the lifetime of a Lock.
class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&section_); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    class Lock {
    public:
        explicit Lock(CriticalSection& section)
            : section_(section.section_)
        {
            EnterCriticalSection(&section_);
        }
        ~Lock() { LeaveCriticalSection(&section_); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        CRITICAL_SECTION& section_;
    };

private:
    CRITICAL_SECTION section_;
};

} // namespace ComServer
