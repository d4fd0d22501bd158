// vcruntime_string.h -- stand-in: the mem*/str* functions vcruntime140.dll exports
// are declared by the mingw-w64 <string.h>.
#pragma once
// The runtime's own order: what comes first sets up what the rest need.
// clang-format off
#include <vcruntime.h>
#include <string.h>
// clang-format on
