#include "lang/TraceSink.h"

namespace Lang::TraceSink {

namespace {
thread_local Capture* activeCapture = nullptr;
}

void write(std::string_view line)
{
    if (activeCapture != nullptr) {
        activeCapture->lines_.emplace_back(line);
    }
}

Capture::Capture()
    : outer_(activeCapture)
{
    activeCapture = this;
}

Capture::~Capture()
{
    activeCapture = outer_;
}

} // namespace Lang::TraceSink
