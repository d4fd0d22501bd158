#pragma once

// Counts C++ heap allocations process-wide, the plug-in's and the stand-in's alike, by replacing
// the global operator new of the benchmark program.

long long HeapAllocations();
