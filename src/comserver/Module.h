// The state of the loaded module besides its lock count (ModuleLock.h): its
// instance handle and the one critical section that guards the first
// creation of each class object. Each module that links this keeps its own.
#pragma once

#include "platform/Com.h"

namespace ComServer {

class Module {
public:
    // Process attach: keeps the instance handle and sets up the critical
    // section. A failure of the latter is recorded, never reported.
    static void attach(HINSTANCE instance);
    // Process detach on FreeLibrary: releases the critical section. The
    // module's entry point releases its cached class objects and type
    // information first.
    static void detach();

    // The module's instance handle (null until attach).
    static HINSTANCE instance() { return instance_; }

    // Holds the module's critical section for the lifetime of the object.
    // ready() is false when the section could not be set up at attach.
    class SectionLock {
    public:
        SectionLock();
        ~SectionLock();
        SectionLock(const SectionLock&) = delete;
        SectionLock& operator=(const SectionLock&) = delete;
        bool ready() const { return ready_; }

    private:
        bool ready_;
    };

private:
    static HINSTANCE instance_;
    static CRITICAL_SECTION section_;
    static bool sectionReady_;
};

} // namespace ComServer
