// The COM binary interface for the portable core. On Windows these are the
// platform headers; elsewhere the build puts the stand-ins of platform/posix on
// the include path under the same names.
#pragma once

#include <comdef.h>
#include <ole2.h>
#include <windows.h>

static_assert(sizeof(OLECHAR) == 2, "COM text is 16-bit on every platform");
static_assert(sizeof(ULONG) == 4 && sizeof(LONG) == 4 && sizeof(DWORD) == 4,
              "COM integers are 32-bit on every platform");
