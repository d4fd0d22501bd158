#pragma once

// The engine allocator behind "FMemory.Malloc", "FMemory.Realloc" and "FMemory.Free", with
// accounting: every live block is known, so double frees and frees of pointers that never came from
// here are caught (recorded as faults and not performed), and what a plug-in still holds can be
// told. It is process-wide like the real one and outlives any server: engine strings held by code
// that is torn down late still come back here.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace devserver::engine_allocator {

// The game functions themselves, as GetAddress hands them out.
void* Malloc(std::size_t bytes, uint32_t alignment);
void* Realloc(void* block, std::size_t bytes);
void Free(void* block);

struct Totals {
  int64_t live_blocks = 0;
  int64_t live_bytes = 0;
  int64_t double_frees = 0;
  int64_t foreign_frees = 0;
  int64_t allocations = 0;  // blocks handed out (Malloc and Realloc), ever
};
Totals GetTotals();
// Forgets the double-free and foreign-free counts (a new server starts counting afresh).
void ResetFaultCounts();

// Size of a live block, or -1 when `block` is not one.
int64_t LiveBlockSize(const void* block);

struct BlockView {
  const void* block;
  std::size_t bytes;
  bool taken_by_plugin;  // allocated while plug-in code ran
};
void ForEachLiveBlock(const std::function<void(const BlockView&)>& visit);
// After a released plug-in's leftovers have been reported, its blocks count as anybody's.
void ForgetPluginAttribution();

// The `count`th allocation from now returns null (1 = the next); 0 switches it off.
void FailAllocationAfter(int64_t count);
bool AllocationFailureInjected();

// While one exists, allocations are the game's own and never fail by injection (a real engine
// aborts when its own allocation fails). Plug-in code that the game calls meanwhile is not the
// game's: a call into the plug-in sets the scopes aside until it returns.
bool InGameAllocationScope();
int SetGameAllocationScopesAside();
void RestoreGameAllocationScopes(int scopes);

class GameAllocationScope {
 public:
  GameAllocationScope();
  ~GameAllocationScope();
  GameAllocationScope(const GameAllocationScope&) = delete;
  GameAllocationScope& operator=(const GameAllocationScope&) = delete;
};

}  // namespace devserver::engine_allocator
