#include "admin/dump_command.h"

#include <fmt/format.h>
#include <spdlog/logger.h>

#include "admin/dump_log.h"
#include "host/game_functions.h"
#include "host/text.h"
#include "plugin/contained.h"
#include "plugin/plugin.h"
#include "spawn_control/dino_counts.h"

namespace {

// The census as one text, a line per class in table order. Lines enter it byte for unit, so any
// byte of a non-ASCII key shows as "?" in the reply and the file.
template <typename EachLine>
FString BuildDumpText(EachLine&& each_line) {
  FString dump_text;
  for (const auto& [class_key, count] : DinoCounts) {
    const std::string key = ToUtf8(class_key);
    each_line(key, count);
    dump_text.AppendNarrow(fmt::format("{}. Num: {}\n", key, count));
  }
  return dump_text;
}

}  // namespace

void DumpDinosConsoleCmd(APlayerController* /*player*/, FString* /*command*/, bool /*unused*/) {
  // An error of the file writer ends this dump only; the log lines are out by then.
  RunContained("kvar.dumpdinos", [] {
    const FString dump_text = BuildDumpText([](const std::string& key, uint32_t count) {
      PluginLogger->warn("{}. Num: {}", key, count);
    });
    WriteDumpLog(ToUtf8(dump_text));
  });
}

void DumpDinosRconCmd(RCONClientConnection* connection, RCONPacket* packet, UWorld* /*world*/) {
  RunContained("kvar.dumpdinos", [&] {
    FString dump_text = BuildDumpText([](const std::string&, uint32_t) {});
    if (connection != nullptr && packet != nullptr) {
      game::SendRconMessage(connection, packet->Id, 0, &dump_text);
    }
    WriteDumpLog(ToUtf8(dump_text));
  });
}
