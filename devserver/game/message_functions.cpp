// The game's own functions that send text to players and RCON clients: printed to the server's
// output and recorded as events.

#include <fmt/format.h>

#include <string>

#include "devserver/fatal.h"
#include "devserver/game/engine_allocator.h"
#include "devserver/game/game_own_functions.h"
#include "devserver/game/text_units.h"
#include "devserver/journal.h"
#include "devserver/server_state.h"
#include "host/text.h"

namespace devserver::own {

void ChatDirectMessage(AShooterPlayerController* controller, FString* message, FLinearColor colour,
                       bool bold) {
  const engine_allocator::GameAllocationScope own_memory;
  RunningServer("AShooterPlayerController.ClientServerChatDirectMessage");
  if (TheJournal().record_events) {
    RecordGameCallF("ClientServerChatDirectMessage {} bold {}", ObjectText(controller), bold);
  }
  AsKind(controller, ObjectKind::PlayerController,
         "AShooterPlayerController.ClientServerChatDirectMessage");
  if (message == nullptr) {
    ProgrammingError("AShooterPlayerController.ClientServerChatDirectMessage: null message");
  }
  const std::string text = ToUtf8(message->View());
  const std::string rgba = fmt::format("{},{},{},{}", colour.R, colour.G, colour.B, colour.A);
  PrintLine("[chat " + rgba + "] " + text);
  RecordEventF("chat {} {}", rgba, text);
}

void SendRconMessage(RCONClientConnection* connection, int32_t request_id, int32_t type,
                     FString* message) {
  const engine_allocator::GameAllocationScope own_memory;
  Server& server = RunningServer("RCONClientConnection.SendMessageW");
  AsKind(connection, ObjectKind::RconConnection, "RCONClientConnection.SendMessageW");
  if (message == nullptr) ProgrammingError("RCONClientConnection.SendMessageW: null message");
  const std::string text = ToUtf8(message->View());
  RecordEventF("rcon id={} type={} {}", request_id, type, text);
  if (server.rcon_capture != nullptr) {
    server.rcon_capture->push_back(RconReply{request_id, type, text});
    return;
  }
  const std::string prefix = fmt::format("[rcon id={} type={}] ", request_id, type);
  // A reply that ends with a line feed ends the printed line with it.
  const bool ends_line = !text.empty() && text.back() == '\n';
  PrintLine(prefix + (ends_line ? text.substr(0, text.size() - 1) : text));
}

}  // namespace devserver::own
