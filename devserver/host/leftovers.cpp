#include "devserver/host/leftovers.h"

#include <fmt/format.h>

#include <unordered_set>

#include "devserver/game/engine_allocator.h"
#include "devserver/journal.h"

namespace devserver {

namespace {

std::unordered_set<const void*> OwnedBlocks(const Server& server) {
  std::unordered_set<const void*> owned;
  for (const ActorRecord* actor : server.world.EngineActors()) owned.insert(actor->tags.Data);
  for (const auto& creature : server.world.Creatures()) owned.insert(creature->tags.Data);
  for (const auto& entry : server.commands.console.Entries()) owned.insert(entry.name.Data());
  for (const auto& entry : server.commands.rcon.Entries()) owned.insert(entry.name.Data());
  owned.erase(nullptr);
  return owned;
}

}  // namespace

MemoryReport ReportMemory(const Server* server) {
  const engine_allocator::Totals totals = engine_allocator::GetTotals();
  MemoryReport report;
  report.live_blocks = totals.live_blocks;
  report.live_bytes = totals.live_bytes;
  report.double_frees = totals.double_frees;
  report.foreign_frees = totals.foreign_frees;
  report.allocations = totals.allocations;
  const std::unordered_set<const void*> owned =
      server != nullptr ? OwnedBlocks(*server) : std::unordered_set<const void*>{};
  engine_allocator::ForEachLiveBlock([&](const engine_allocator::BlockView& block) {
    if (owned.count(block.block) != 0) return;
    ++report.unowned_blocks;
    report.unowned_bytes += static_cast<int64_t>(block.bytes);
  });
  return report;
}

void CheckWhatThePluginLeft(Server& server) {
  if (server.plugin.StillResident()) {
    RecordFault("the plug-in library " + server.plugin.Path() +
                " stayed mapped after its release, so its state was never destroyed");
  }
  if (const int sinks = server.sinks.ForgetForeignFormatters(); sinks > 0) {
    RecordFault(fmt::format(
        "{} log sink(s) still held a formatter of the plug-in's code after its release", sinks));
  }
  for (const std::string& name : server.hooks.DropPluginDetours()) {
    RecordFault("a detour of " + name + " was still installed after the plug-in's release");
  }
  for (const std::string& name : server.commands.console.AbandonPluginCommands()) {
    RecordFault("console command " + name + " was still registered after the plug-in's release");
  }
  for (const std::string& name : server.commands.rcon.AbandonPluginCommands()) {
    RecordFault("RCON command " + name + " was still registered after the plug-in's release");
  }
  if (const std::size_t tasks = server.scheduler.AbandonPluginTasks(); tasks > 0) {
    RecordFault(fmt::format("{} timer task(s) were queued during the plug-in's release", tasks));
  }
  const std::unordered_set<const void*> owned = OwnedBlocks(server);
  int64_t blocks = 0;
  int64_t bytes = 0;
  engine_allocator::ForEachLiveBlock([&](const engine_allocator::BlockView& block) {
    if (!block.taken_by_plugin || owned.count(block.block) != 0) return;
    ++blocks;
    bytes += static_cast<int64_t>(block.bytes);
  });
  if (blocks > 0) {
    RecordFault(
        fmt::format("engine memory still held after the plug-in's release: {} block(s), {} byte(s)",
                    blocks, bytes));
  }
  engine_allocator::ForgetPluginAttribution();
}

}  // namespace devserver
