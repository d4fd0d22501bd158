// vcruntime_string.h -- stand-in: the mem*/str* functions vcruntime140.dll exports
// are declared by the mingw-w64 <string.h>.
#pragma once
#include <vcruntime.h>
#include <string.h>
