// Stand-in for the Windows header of the same name; see ComAbi.h.
#pragma once
#include "ComAbi.h"
