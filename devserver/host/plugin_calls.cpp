#include "devserver/host/plugin_calls.h"

#include <cstdio>
#include <string>

#include "devserver/control/server.h"
#include "devserver/game/engine_allocator.h"
#include "devserver/journal.h"

namespace devserver {

namespace {
int plugin_call_depth = 0;
}  // namespace

bool InPluginCode() { return plugin_call_depth > 0; }

PluginCallScope::PluginCallScope()
    : game_scopes_(engine_allocator::SetGameAllocationScopesAside()) {
  ++plugin_call_depth;
}

PluginCallScope::~PluginCallScope() {
  --plugin_call_depth;
  engine_allocator::RestoreGameAllocationScopes(game_scopes_);
}

bool PluginAllocating() { return InPluginCode() && !engine_allocator::InGameAllocationScope(); }

void ReportEscapedException(std::string_view where, std::string_view what) noexcept {
  try {
    std::string text = "exception escaped from ";
    text.append(where).append(": ").append(what);
    RecordFault(std::move(text));
  } catch (...) {
    // Out of memory while reporting: the fault still has to be seen.
    std::fputs("devserver FAULT: exception escaped from plug-in code\n", stderr);
  }
}

}  // namespace devserver
