// Stand-in for the Windows header of the same name: identifiers declared with
// DEFINE_GUID after this point are defined, not only declared.
#pragma once
#define INITGUID
#include "ComAbi.h"
#undef DEFINE_GUID
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)                               \
    EXTERN_C const GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
