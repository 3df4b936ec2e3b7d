// Implementations of the port interfaces fill the vtable slots of the methods
// Vornak never calls with this: each answers E_NOTIMPL.
#pragma once

#include "platform/Com.h"

#define VORNAK_RESERVED_SLOT(n)                                                                    \
    HRESULT STDMETHODCALLTYPE Reserved##n() override                                               \
    {                                                                                              \
        return E_NOTIMPL;                                                                          \
    }

// The runs of unused slots that the port interfaces begin with.
#define VORNAK_RESERVED_SLOTS_1_TO_3                                                               \
    VORNAK_RESERVED_SLOT(1)                                                                        \
    VORNAK_RESERVED_SLOT(2)                                                                        \
    VORNAK_RESERVED_SLOT(3)
#define VORNAK_RESERVED_SLOTS_1_TO_7                                                               \
    VORNAK_RESERVED_SLOTS_1_TO_3                                                                   \
    VORNAK_RESERVED_SLOT(4)                                                                        \
    VORNAK_RESERVED_SLOT(5)                                                                        \
    VORNAK_RESERVED_SLOT(6)                                                                        \
    VORNAK_RESERVED_SLOT(7)
#define VORNAK_RESERVED_SLOTS_1_TO_10                                                              \
    VORNAK_RESERVED_SLOTS_1_TO_7                                                                   \
    VORNAK_RESERVED_SLOT(8)                                                                        \
    VORNAK_RESERVED_SLOT(9)                                                                        \
    VORNAK_RESERVED_SLOT(10)
// The run between IItemService's StatItem and PutItem.
#define VORNAK_RESERVED_SLOTS_12_TO_17                                                             \
    VORNAK_RESERVED_SLOT(12)                                                                       \
    VORNAK_RESERVED_SLOT(13)                                                                       \
    VORNAK_RESERVED_SLOT(14)                                                                       \
    VORNAK_RESERVED_SLOT(15)                                                                       \
    VORNAK_RESERVED_SLOT(16)                                                                       \
    VORNAK_RESERVED_SLOT(17)
#define VORNAK_RESERVED_SLOTS_1_TO_17                                                              \
    VORNAK_RESERVED_SLOTS_1_TO_10                                                                  \
    VORNAK_RESERVED_SLOT(11)                                                                       \
    VORNAK_RESERVED_SLOTS_12_TO_17
#define VORNAK_RESERVED_SLOTS_1_TO_20                                                              \
    VORNAK_RESERVED_SLOTS_1_TO_17                                                                  \
    VORNAK_RESERVED_SLOT(18)                                                                       \
    VORNAK_RESERVED_SLOT(19)                                                                       \
    VORNAK_RESERVED_SLOT(20)
