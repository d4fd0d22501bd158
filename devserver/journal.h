#pragma once

// What the stand-in observed: events, faults and printed output. It outlives a stopped server, so
// that a caller can read what happened after StopServer, and is reset by the next StartServer.

#include <fmt/format.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace devserver {

struct Journal {
  bool record_events = true;
  std::vector<std::string> events;
  // Every call of a game function that a detour sits on or that the plug-in asks a question of,
  // with the arguments the game received, so that tests compare them with what the caller passed.
  std::vector<std::string> game_calls;
  std::vector<std::string> faults;
  std::function<void(std::string_view)> output;          // empty: standard output
  std::function<void(std::string_view)> event_observer;  // empty: none
  // Runs before an event is recorded, so that tags the plug-in appended unseen come first.
  void (*before_event)() = nullptr;
};

Journal& TheJournal();
void ResetJournal(bool record_events);

// Whether an event would be kept or observed; callers skip formatting otherwise, so that benchmarks
// pay nothing for events.
bool EventsWanted();
void RecordEvent(std::string text);

template <typename... Args>
void RecordEventF(fmt::format_string<Args...> format, Args&&... args) {
  if (!EventsWanted()) return;
  RecordEvent(fmt::format(format, std::forward<Args>(args)...));
}

// A call that reached the game's own function (kept while events are recorded).
template <typename... Args>
void RecordGameCallF(fmt::format_string<Args...> format, Args&&... args) {
  Journal& journal = TheJournal();
  if (!journal.record_events) return;
  journal.game_calls.push_back(fmt::format(format, std::forward<Args>(args)...));
}

// A fault is kept and printed to standard error at once: on a real server most of them would crash
// the process.
void RecordFault(std::string text);

// One line of the server's printed output (chat messages, RCON replies, command results).
void PrintLine(std::string_view line);

}  // namespace devserver
