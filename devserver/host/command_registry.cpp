#include "devserver/host/command_registry.h"

#include <algorithm>

#include "devserver/game/text_units.h"
#include "devserver/host/plugin_calls.h"
#include "devserver/journal.h"
#include "devserver/server_state.h"
#include "host/text.h"

namespace devserver {

template <typename Callback>
typename std::vector<typename CommandList<Callback>::Entry>::iterator
CommandList<Callback>::Position(std::u16string_view name) {
  return std::find_if(entries_.begin(), entries_.end(), [&](const Entry& entry) {
    return EqualIgnoringAsciiCase(entry.name.View(), name);
  });
}

template <typename Callback>
void CommandList<Callback>::Add(const FString& name, const Callback& callback) {
  const std::string name_utf8 = ToUtf8(name.View());
  if (!callback) {
    RecordFault(std::string(registry_) + " command " + name_utf8 + " added without a callable");
    return;
  }
  auto copy = std::make_shared<Callback>(callback);
  const auto existing = Position(name.View());
  if (existing != entries_.end()) {
    existing->callback = std::move(copy);
    existing->from_plugin = InPluginCode();
    RecordEventF("{} replaced {}", registry_, name_utf8);
    return;
  }
  Entry entry;
  entry.name = name;
  entry.name_utf8 = name_utf8;
  entry.where = "the " + std::string(registry_) + " command " + name_utf8;
  entry.callback = std::move(copy);
  entry.from_plugin = InPluginCode();
  entries_.push_back(std::move(entry));
  RecordEventF("{} added {}", registry_, name_utf8);
}

template <typename Callback>
bool CommandList<Callback>::Remove(const FString& name) {
  const auto existing = Position(name.View());
  if (existing == entries_.end()) {
    RecordEventF("{} absent {}", registry_, ToUtf8(name.View()));
    return false;
  }
  RecordEventF("{} removed {}", registry_, existing->name_utf8);
  entries_.erase(existing);
  return true;
}

template <typename Callback>
const typename CommandList<Callback>::Entry* CommandList<Callback>::Find(
    std::u16string_view first_word) const {
  const auto found = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& entry) {
    return EqualIgnoringAsciiCase(entry.name.View(), first_word);
  });
  return found == entries_.end() ? nullptr : &*found;
}

template <typename Callback>
std::vector<std::string> CommandList<Callback>::AbandonPluginCommands() {
  std::vector<std::string> names;
  for (Entry& entry : entries_) {
    if (!entry.from_plugin) continue;
    names.push_back(entry.name_utf8);
    // Keeps the callback alive for ever: destroying it would run code that is no longer loaded.
    static_cast<void>(new std::shared_ptr<Callback>(std::move(entry.callback)));
  }
  std::erase_if(entries_, [](const Entry& entry) { return entry.from_plugin; });
  return names;
}

template class CommandList<ArkApi::ConsoleCommandCallback>;
template class CommandList<ArkApi::RconCommandCallback>;

void CommandRegistry::AddConsoleCommand(const FString& command,
                                        const ArkApi::ConsoleCommandCallback& callback) {
  console.Add(command, callback);
}

void CommandRegistry::AddRconCommand(const FString& command,
                                     const ArkApi::RconCommandCallback& callback) {
  rcon.Add(command, callback);
}

bool CommandRegistry::RemoveConsoleCommand(const FString& command) {
  FailIfAsked("ICommands::RemoveConsoleCommand");
  return console.Remove(command);
}

bool CommandRegistry::RemoveRconCommand(const FString& command) {
  FailIfAsked("ICommands::RemoveRconCommand");
  return rcon.Remove(command);
}

}  // namespace devserver
