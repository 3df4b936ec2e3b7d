// Starting a COM local server, the platform call behind the port server of
// item files. Tests put an in-process stand-in in its place on every build.
#pragma once

#include "platform/Com.h"

#include <functional>

namespace Platform {

// Creates an object of `clsid` in a local or remote server (context 0x14),
// runs it with OleRun and returns its IUnknown. Without a COM runtime (builds
// that are not Windows) only an override can answer.
HRESULT createLocalServerNoThrow(REFCLSID clsid, IUnknown** server);

// While it lives, createLocalServerNoThrow calls `factory` instead, on every thread.
class LocalServerOverride {
public:
    using Factory = std::function<HRESULT(REFCLSID clsid, IUnknown** server)>;
    explicit LocalServerOverride(Factory factory);
    ~LocalServerOverride();
    LocalServerOverride(const LocalServerOverride&) = delete;
    LocalServerOverride& operator=(const LocalServerOverride&) = delete;

private:
    Factory factory_;
    LocalServerOverride* outer_;
};

} // namespace Platform
