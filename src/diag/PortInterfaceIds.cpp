// Defines the identifiers that PortInterfaces.idl declares.
#include "platform/Com.h"

#include <initguid.h>

#include "diag/PortInterfaces.h"
