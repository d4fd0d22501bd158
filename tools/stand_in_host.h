#pragma once

// `serve` and `simulate` run the plug-in in the stand-in host, the `version` library beside the
// program. On Windows the program loads it only when it first calls into it, so that the commands
// that never do (`check`, `doctor`, `report`, `rcon`, `watch`) work without it. Wine, however,
// prefers its own built-in version.dll to the one beside the program; so does Windows when that
// one is missing.

// Loads the stand-in host as the first call into it would and tells whether it is ours; when it is
// not, says why in a line or two and what to do. Always true where the linker binds it at start.
bool StandInHostReady();
