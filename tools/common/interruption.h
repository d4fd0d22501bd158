#pragma once

// Ctrl-C during a simulation or a watch: the handler only sets a flag; the run looks at it between
// two steps, stops there and the outputs are written for what was done.

// Installs the handler of SIGINT (Ctrl-C; Ctrl-Break too on Windows) for the rest of the process.
void CatchInterruption();
// Whether a stop was asked for; StopRequested() stays true until ClearStopRequest().
bool StopRequested();
// What the handler does; tests call it directly.
void RequestStop();
void ClearStopRequest();
