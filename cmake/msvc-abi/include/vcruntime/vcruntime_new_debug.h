// vcruntime_new_debug.h -- stand-in (debug operator new overloads are not provided).
#pragma once
#include <vcruntime_new.h>
