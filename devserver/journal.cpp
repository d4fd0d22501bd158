#include "devserver/journal.h"

#include <cstdio>
#include <utility>

namespace devserver {

Journal& TheJournal() {
  // Never destroyed: plug-in code linked into a program may still report while statics go away.
  static Journal* journal = new Journal;
  return *journal;
}

void ResetJournal(bool record_events) {
  Journal& journal = TheJournal();
  journal.record_events = record_events;
  journal.events.clear();
  journal.game_calls.clear();
  journal.faults.clear();
  journal.output = nullptr;
  journal.event_observer = nullptr;
  journal.before_event = nullptr;
}

bool EventsWanted() {
  const Journal& journal = TheJournal();
  return journal.record_events || journal.event_observer;
}

void RecordEvent(std::string text) {
  Journal& journal = TheJournal();
  if (!journal.record_events && !journal.event_observer) return;
  if (journal.before_event != nullptr) journal.before_event();
  if (journal.event_observer) journal.event_observer(text);
  if (journal.record_events) journal.events.push_back(std::move(text));
}

void RecordFault(std::string text) {
  std::fflush(stdout);
  std::fprintf(stderr, "devserver FAULT: %s\n", text.c_str());
  std::fflush(stderr);
  TheJournal().faults.push_back(std::move(text));
}

void PrintLine(std::string_view line) {
  const Journal& journal = TheJournal();
  if (journal.output) {
    journal.output(line);
    return;
  }
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace devserver
