// Control surface: what the stand-in observed. Events, faults and log entries stay readable after
// the server has stopped, until the next one starts.

#include "devserver/control/server.h"
#include "devserver/game/engine_allocator.h"
#include "devserver/host/leftovers.h"
#include "devserver/journal.h"
#include "devserver/server_state.h"

namespace devserver {

std::vector<std::string> Events() { return TheJournal().events; }

void ClearEvents() {
  TheJournal().events.clear();
  TheJournal().game_calls.clear();
}

std::vector<std::string> GameCalls() { return TheJournal().game_calls; }

std::vector<LogEntry> LogEntries() {
  const auto& capture = LastCapture();
  return capture ? capture->Entries() : std::vector<LogEntry>{};
}

void ClearLogEntries() {
  if (const auto& capture = LastCapture()) capture->Clear();
}

std::vector<std::string> Faults() { return TheJournal().faults; }

void ClearFaults() { TheJournal().faults.clear(); }

MemoryReport Memory() { return ReportMemory(ActiveServer()); }

size_t PendingTimerTasks() {
  const Server* server = ActiveServer();
  return server == nullptr ? 0 : server->scheduler.PendingTasks();
}

std::vector<std::string> InstalledHooks() {
  const Server* server = ActiveServer();
  return server == nullptr ? std::vector<std::string>{} : server->hooks.Installed();
}

void FailHostOperations(const std::vector<std::string>& operations) {
  RunningServer("FailHostOperations").failing_operations = {operations.begin(), operations.end()};
}

void FailAllocationAfter(int64_t count) { engine_allocator::FailAllocationAfter(count); }

bool AllocationFailureInjected() { return engine_allocator::AllocationFailureInjected(); }

}  // namespace devserver
