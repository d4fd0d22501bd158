#include "tools/serve/stop_signal.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t stop_signal = 0;

// A second signal ends the process at once, should a command take too long to wait for.
extern "C" void OnStopSignal(int signal) {
  stop_signal = signal;
  std::signal(signal, SIG_DFL);
}

}  // namespace

void CatchStopSignals() {
#if defined(_WIN32)
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
  std::signal(SIGBREAK, OnStopSignal);
#else
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: the read of the next line returns
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
#endif
}

int StopSignal() { return stop_signal; }

const char* StopSignalName(int signal) {
  if (signal == SIGINT) return "SIGINT";
  if (signal == SIGTERM) return "SIGTERM";
#if defined(SIGBREAK)
  if (signal == SIGBREAK) return "SIGBREAK";
#endif
  return "a signal";
}
