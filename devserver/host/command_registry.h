#pragma once

// The host's console and RCON command registries. Each keeps its own copies of the names and
// callbacks it is given. A line is dispatched on its first word, compared with the names ignoring
// the case of ASCII letters. Adding a name that is already registered replaces its callback.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/api.h"

namespace devserver {

template <typename Callback>
class CommandList {
 public:
  struct Entry {
    FString name;
    std::string name_utf8;
    std::string where;  // names a call of the callback in a fault
    std::shared_ptr<Callback> callback;
    bool from_plugin = false;
  };

  explicit CommandList(std::string_view registry) : registry_(registry) {}

  void Add(const FString& name, const Callback& callback);
  bool Remove(const FString& name);
  // The entry whose name is the line's first word; null when there is none.
  const Entry* Find(std::u16string_view first_word) const;
  const std::vector<Entry>& Entries() const { return entries_; }
  // After the plug-in's release: takes its commands out without destroying their callbacks (whose
  // code is gone) and returns their names.
  std::vector<std::string> AbandonPluginCommands();

 private:
  typename std::vector<Entry>::iterator Position(std::u16string_view name);

  std::string_view registry_;  // "console" or "rcon": events and faults name it
  std::vector<Entry> entries_;
};

class CommandRegistry final : public ArkApi::ICommands {
 public:
  void AddConsoleCommand(const FString& command,
                         const ArkApi::ConsoleCommandCallback& callback) override;
  void AddRconCommand(const FString& command, const ArkApi::RconCommandCallback& callback) override;
  bool RemoveConsoleCommand(const FString& command) override;
  bool RemoveRconCommand(const FString& command) override;

  CommandList<ArkApi::ConsoleCommandCallback> console{"console"};
  CommandList<ArkApi::RconCommandCallback> rcon{"rcon"};
};

}  // namespace devserver
