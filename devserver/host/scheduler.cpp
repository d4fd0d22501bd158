#include "devserver/host/scheduler.h"

#include <algorithm>
#include <utility>

namespace devserver {

namespace {

// std::push_heap keeps the largest first; the earliest item must be on top.
bool Later(const Scheduler::Item& a, const Scheduler::Item& b) {
  if (a.due != b.due) return a.due > b.due;
  return a.sequence > b.sequence;
}

}  // namespace

void Scheduler::Push(Item item) {
  item.sequence = next_sequence_++;
  heap_.push_back(std::move(item));
  std::push_heap(heap_.begin(), heap_.end(), Later);
}

void Scheduler::QueueTask(std::function<void()> task, double due, bool from_plugin) {
  Item item;
  item.due = due;
  item.task = std::move(task);
  item.from_plugin = from_plugin;
  Push(std::move(item));
}

void Scheduler::QueueDecay(CreatureId creature, double due) {
  Item item;
  item.due = due;
  item.decaying = creature;
  Push(std::move(item));
}

void Scheduler::QueueGameTask(std::function<void()> task, double due) {
  Item item;
  item.due = due;
  item.game_task = std::move(task);
  Push(std::move(item));
}

std::optional<Scheduler::Item> Scheduler::TakeDue(double until) {
  if (heap_.empty() || heap_.front().due > until) return std::nullopt;
  std::pop_heap(heap_.begin(), heap_.end(), Later);
  Item item = std::move(heap_.back());
  heap_.pop_back();
  return item;
}

std::size_t Scheduler::PendingTasks() const {
  return static_cast<std::size_t>(std::count_if(
      heap_.begin(), heap_.end(), [](const Item& item) { return item.task != nullptr; }));
}

void Scheduler::DropDecays() {
  heap_.erase(std::remove_if(heap_.begin(), heap_.end(),
                             [](const Item& item) { return item.decaying != 0; }),
              heap_.end());
  std::make_heap(heap_.begin(), heap_.end(), Later);
}

template <typename Handle>
std::size_t Scheduler::TakePluginTasks(Handle&& handle) {
  const auto removed = std::partition(heap_.begin(), heap_.end(), [](const Item& item) {
    return !(item.task != nullptr && item.from_plugin);
  });
  const auto count = static_cast<std::size_t>(heap_.end() - removed);
  for (auto item = removed; item != heap_.end(); ++item) handle(*item);
  heap_.erase(removed, heap_.end());
  std::make_heap(heap_.begin(), heap_.end(), Later);
  return count;
}

std::size_t Scheduler::DropPluginTasks() {
  return TakePluginTasks([](Item& item) { item.task = nullptr; });
}

std::size_t Scheduler::AbandonPluginTasks() {
  // The task's code is gone: its storage is deliberately never destroyed.
  return TakePluginTasks([](Item& item) {
    // Moving a std::function only moves its storage; no code of the target runs.
    static_cast<void>(new std::function<void()>(std::move(item.task)));
  });
}

}  // namespace devserver
