#include "tools/common/interruption.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t stop_requested = 0;

extern "C" void OnInterrupt(int) { stop_requested = 1; }

}  // namespace

void CatchInterruption() {
  std::signal(SIGINT, OnInterrupt);
#if defined(SIGBREAK)
  std::signal(SIGBREAK, OnInterrupt);
#endif
}

bool StopRequested() { return stop_requested != 0; }

void RequestStop() { stop_requested = 1; }

void ClearStopRequest() { stop_requested = 0; }
