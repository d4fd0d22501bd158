// Control surface: console lines typed by an administrator and RCON requests, dispatched through
// the host's registries on the line's first word.

#include <memory>
#include <string>
#include <vector>

#include "devserver/control/server.h"
#include "devserver/game/text_units.h"
#include "devserver/host/plugin_calls.h"
#include "devserver/journal.h"
#include "devserver/server_state.h"
#include "host/text.h"

namespace devserver {

namespace {

std::string UnknownText(std::u16string_view word) {
  const std::string name = ToUtf8(word);
  return name.empty() ? std::string("Empty command line") : "Unknown command: " + name;
}

void ReportUnknown(std::string_view registry, std::u16string_view word) {
  PrintLine(UnknownText(word));
  RecordEventF("{} unknown {}", registry, ToUtf8(word));
}

void DispatchConsole(std::string_view line, bool from_player) {
  Server& server = RunningServer("ConsoleCommand");
  const std::u16string units = Utf8ToUtf16(line);
  const auto* entry = server.commands.console.Find(FirstWord(units));
  if (entry == nullptr) {
    ReportUnknown("console", FirstWord(units));
    return;
  }
  // Copies: the command may take itself out of the registry while it runs.
  const auto callback = entry->callback;
  const std::string where = entry->where;
  FString text;
  text.AppendUnits(units);
  APlayerController* player =
      from_player ? AsEngine<APlayerController>(server.world.player_controller) : nullptr;
  CallIntoPlugin<void>(where, [&] { (*callback)(player, &text, false); });
  server.tag_watch.SyncAll(server.world, server.names);
}

void DispatchRcon(Server& server, std::string_view text, int32_t id, bool null_connection,
                  bool null_packet) {
  const std::u16string units = Utf8ToUtf16(text);
  const auto* entry = server.commands.rcon.Find(FirstWord(units));
  if (entry == nullptr) {
    if (server.rcon_capture != nullptr) {
      server.rcon_capture->push_back(RconReply{id, 0, UnknownText(FirstWord(units))});
      RecordEventF("rcon unknown {}", ToUtf8(FirstWord(units)));
    } else {
      ReportUnknown("rcon", FirstWord(units));
    }
    return;
  }
  const auto callback = entry->callback;
  const std::string where = entry->where;
  RCONPacket packet;
  packet.Length = static_cast<int32_t>(text.size()) + 10;  // id, type and two terminators
  packet.Id = id;
  packet.Type = 2;  // a command to execute
  packet.Body.AppendUnits(units);
  RCONClientConnection* connection =
      null_connection ? nullptr : AsEngine<RCONClientConnection>(server.world.rcon_connection);
  UWorld* world = AsEngine<UWorld>(server.world.world_object);
  CallIntoPlugin<void>(where,
                       [&] { (*callback)(connection, null_packet ? nullptr : &packet, world); });
  server.tag_watch.SyncAll(server.world, server.names);
}

// Takes the next simulated request id.
int32_t DispatchRcon(std::string_view text, bool null_connection, bool null_packet) {
  Server& server = RunningServer("RconCommand");
  const int32_t id = server.next_rcon_id++;
  DispatchRcon(server, text, id, null_connection, null_packet);
  return id;
}

}  // namespace

void ConsoleCommand(std::string_view line) { DispatchConsole(line, true); }

void ConsoleCommandWithoutPlayer(std::string_view line) { DispatchConsole(line, false); }

int32_t RconCommand(std::string_view text) { return DispatchRcon(text, false, false); }

void RconCommandWithNulls(std::string_view text, bool null_connection, bool null_packet) {
  DispatchRcon(text, null_connection, null_packet);
}

std::vector<RconReply> RconRequest(std::string_view text, int32_t request_id) {
  Server& server = RunningServer("RconRequest");
  std::vector<RconReply> replies;
  server.rcon_capture = &replies;
  try {
    DispatchRcon(server, text, request_id, false, false);
  } catch (...) {
    server.rcon_capture = nullptr;
    throw;
  }
  server.rcon_capture = nullptr;
  return replies;
}

}  // namespace devserver
