#include "comserver/Module.h"

namespace ComServer {

HINSTANCE Module::instance_ = nullptr;
CRITICAL_SECTION Module::section_;
bool Module::sectionReady_ = false;

void Module::attach(HINSTANCE instance)
{
    instance_ = instance;
    sectionReady_ = InitializeCriticalSectionAndSpinCount(&section_, 0) != FALSE;
    if (!sectionReady_ && IsDebuggerPresent()) {
        OutputDebugStringA("ERROR : Unable to initialize critical section in CAtlBaseModule\n");
    }
}

void Module::detach()
{
    if (sectionReady_) {
        DeleteCriticalSection(&section_);
        sectionReady_ = false;
    }
}

Module::SectionLock::SectionLock()
    : ready_(sectionReady_)
{
    if (ready_) {
        EnterCriticalSection(&section_);
    }
}

Module::SectionLock::~SectionLock()
{
    if (ready_) {
        LeaveCriticalSection(&section_);
    }
}

} // namespace ComServer
