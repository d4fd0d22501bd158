#pragma once

// What waits on the game clock: timer tasks (API::Timer) and the decay of dead bodies. Items become
// due in due-time order and, at equal times, in the order they were queued.

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "devserver/control/server.h"

namespace devserver {

class Scheduler {
 public:
  struct Item {
    double due = 0;
    uint64_t sequence = 0;
    std::function<void()> task;       // a timer task; empty for a decay or a game task
    std::function<void()> game_task;  // the game's own work (zones, creatures' lives)
    CreatureId decaying = 0;
    bool from_plugin = false;
  };

  void QueueTask(std::function<void()> task, double due, bool from_plugin);
  void QueueDecay(CreatureId creature, double due);
  void QueueGameTask(std::function<void()> task, double due);
  // The earliest item due at or before `until`, taken off the queue.
  std::optional<Item> TakeDue(double until);

  std::size_t PendingTasks() const;
  // Destroys the plug-in's pending tasks (their destructors are plug-in code, so this happens
  // before its release); returns how many there were.
  std::size_t DropPluginTasks();
  // After the release: the plug-in's tasks queued while it was being released can be neither run
  // nor destroyed; they are taken off the queue and left alone. Returns how many there were.
  std::size_t AbandonPluginTasks();
  // The world forgot its creatures: their bodies' decays go too.
  void DropDecays();

 private:
  void Push(Item item);
  // Takes the plug-in's tasks off the queue, handing each to `handle` first.
  template <typename Handle>
  std::size_t TakePluginTasks(Handle&& handle);

  std::vector<Item> heap_;
  uint64_t next_sequence_ = 0;
};

}  // namespace devserver
