// Implementations of the port interfaces fill the vtable slots of the methods
// Vornak never calls with this: each answers E_NOTIMPL.
#pragma once

#include "platform/Com.h"

#define VORNAK_RESERVED_SLOT(n)                                                                    \
    HRESULT STDMETHODCALLTYPE Reserved##n() override                                               \
    {                                                                                              \
        return E_NOTIMPL;                                                                          \
    }
