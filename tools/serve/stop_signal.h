#pragma once

// SIGINT and SIGTERM in a session read line by line from standard input: the handler only notes
// the signal; a read it interrupts returns, and a long sim.advance stops at its next step, so the
// session ends as after quit. A second signal ends the process at once.

// Installs the handlers for the rest of the process. On POSIX a blocked read is interrupted, not
// restarted, so that the session sees the signal at once.
void CatchStopSignals();
// The signal that asked the session to end, or 0.
int StopSignal();
// "SIGINT", "SIGTERM", ...
const char* StopSignalName(int signal);
