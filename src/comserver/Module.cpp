#include "vornak/Module.h"

namespace Vornak {

HINSTANCE Module::instance_ = nullptr;
LONG Module::lockCount_ = 0;
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

void Module::lock()
{
    InterlockedIncrement(&lockCount_);
}

void Module::unlock()
{
    InterlockedDecrement(&lockCount_);
}

LONG Module::lockCount()
{
    return InterlockedCompareExchange(&lockCount_, 0, 0);
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

} // namespace Vornak
