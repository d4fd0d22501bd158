#include "devserver/game/engine_allocator.h"

#include <cstring>
#include <iterator>
#include <memory_resource>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>

#include "devserver/fatal.h"
#include "devserver/host/plugin_calls.h"
#include "devserver/journal.h"

namespace devserver::engine_allocator {

namespace {

constexpr std::size_t kDefaultAlignment = __STDCPP_DEFAULT_NEW_ALIGNMENT__;

struct BlockInfo {
  std::size_t bytes;
  std::size_t alignment;
  bool taken_by_plugin;
  // Given back and not handed out again: a second free of it is a double free. A pointer with no
  // entry at all is a foreign pointer.
  bool freed;
};

// One entry per address handed out, live or given back, so that an allocation and a free each cost
// one lookup. Bookkeeping nodes come from a pool, so that an allocation costs no more than the
// block itself once the pool is warm. Entries of given-back blocks are dropped now and then, so
// that a long-running process (a soak, a fuzzer, an allocator that rarely reuses addresses) keeps a
// book the size of its live blocks: a second free of a dropped address is then reported as a
// foreign free, still a fault.
struct Allocator {
  std::pmr::unsynchronized_pool_resource pool;
  std::pmr::unordered_map<const void*, BlockInfo> blocks{&pool};
  int64_t freed_entries = 0;
  Totals totals;
  int64_t fail_countdown = 0;
  bool failure_injected = false;
  int game_scopes = 0;
};

// The entry of a live block, or null.
BlockInfo* FindLive(Allocator& allocator, const void* block) {
  const auto entry = allocator.blocks.find(block);
  return entry == allocator.blocks.end() || entry->second.freed ? nullptr : &entry->second;
}

Allocator& Instance() {
  // Never destroyed: engine memory may be given back by static destructors at process exit.
  static Allocator* allocator = new Allocator;
  return *allocator;
}

bool InjectedFailure(Allocator& allocator) {
  if (allocator.fail_countdown <= 0 || allocator.game_scopes > 0) return false;
  if (--allocator.fail_countdown != 0) return false;
  allocator.failure_injected = true;
  return true;
}

void* Take(Allocator& allocator, std::size_t bytes, std::size_t alignment, bool by_plugin) {
  void* block = ::operator new (bytes == 0 ? 1 : bytes, std::align_val_t{alignment});
  BlockInfo& info = allocator.blocks[block];
  if (info.freed) --allocator.freed_entries;
  info = BlockInfo{bytes, alignment, by_plugin, false};
  ++allocator.totals.live_blocks;
  ++allocator.totals.allocations;
  allocator.totals.live_bytes += static_cast<int64_t>(bytes);
  return block;
}

// Drops the entries of given-back blocks once they outnumber the live ones well: each drop walks
// the book, and the book has doubled since the last, so a free costs O(1) on average.
void DropFreedEntries(Allocator& allocator) {
  constexpr int64_t kKeptAtLeast = 1 << 12;
  if (allocator.freed_entries <= 2 * allocator.totals.live_blocks + kKeptAtLeast) return;
  for (auto entry = allocator.blocks.begin(); entry != allocator.blocks.end();) {
    entry = entry->second.freed ? allocator.blocks.erase(entry) : std::next(entry);
  }
  allocator.freed_entries = 0;
}

// `info` is invalid afterwards.
void Release(Allocator& allocator, void* block, BlockInfo& info) {
  info.freed = true;
  ++allocator.freed_entries;
  --allocator.totals.live_blocks;
  allocator.totals.live_bytes -= static_cast<int64_t>(info.bytes);
  ::operator delete (block, std::align_val_t{info.alignment});
  DropFreedEntries(allocator);
}

// A block that is not live: a fault, and the operation is not performed.
void ReportBadBlock(Allocator& allocator, const char* function, const void* block) {
  if (allocator.blocks.count(block) != 0) {
    ++allocator.totals.double_frees;
    RecordFault(std::string(function) + ": block already freed (double free)");
  } else {
    ++allocator.totals.foreign_frees;
    RecordFault(std::string(function) + ": pointer that FMemory never handed out");
  }
}

}  // namespace

void* Malloc(std::size_t bytes, uint32_t alignment) {
  Allocator& allocator = Instance();
  if (alignment != 0 && (alignment & (alignment - 1)) != 0) {
    ProgrammingError("FMemory.Malloc: alignment " + std::to_string(alignment) +
                     " is not a power of two");
  }
  if (InjectedFailure(allocator)) return nullptr;
  const std::size_t effective = alignment > kDefaultAlignment ? alignment : kDefaultAlignment;
  return Take(allocator, bytes, effective, InPluginCode());
}

void* Realloc(void* block, std::size_t bytes) {
  if (block == nullptr) return Malloc(bytes, 0);
  Allocator& allocator = Instance();
  BlockInfo* info = FindLive(allocator, block);
  if (info == nullptr) {
    ReportBadBlock(allocator, "FMemory.Realloc", block);
    return nullptr;
  }
  if (bytes == 0) {
    Release(allocator, block, *info);
    return nullptr;
  }
  // Like realloc: on failure the old block stays as it was.
  if (InjectedFailure(allocator)) return nullptr;
  const BlockInfo old = *info;
  void* grown = Take(allocator, bytes, old.alignment, old.taken_by_plugin || InPluginCode());
  std::memcpy(grown, block, old.bytes < bytes ? old.bytes : bytes);
  // Entries stay where they are while others are added, so `info` is still the old block's.
  Release(allocator, block, *info);
  return grown;
}

void Free(void* block) {
  if (block == nullptr) return;
  Allocator& allocator = Instance();
  BlockInfo* info = FindLive(allocator, block);
  if (info == nullptr) {
    ReportBadBlock(allocator, "FMemory.Free", block);
    return;
  }
  Release(allocator, block, *info);
}

Totals GetTotals() { return Instance().totals; }

void ResetFaultCounts() {
  Allocator& allocator = Instance();
  allocator.totals.double_frees = 0;
  allocator.totals.foreign_frees = 0;
}

int64_t LiveBlockSize(const void* block) {
  const BlockInfo* info = FindLive(Instance(), block);
  return info == nullptr ? -1 : static_cast<int64_t>(info->bytes);
}

void ForEachLiveBlock(const std::function<void(const BlockView&)>& visit) {
  for (const auto& [block, info] : Instance().blocks) {
    if (!info.freed) visit({block, info.bytes, info.taken_by_plugin});
  }
}

void ForgetPluginAttribution() {
  for (auto& [block, info] : Instance().blocks) info.taken_by_plugin = false;
}

void FailAllocationAfter(int64_t count) {
  Instance().fail_countdown = count > 0 ? count : 0;
  Instance().failure_injected = false;
}

bool AllocationFailureInjected() { return Instance().failure_injected; }

bool InGameAllocationScope() { return Instance().game_scopes > 0; }

int SetGameAllocationScopesAside() { return std::exchange(Instance().game_scopes, 0); }

void RestoreGameAllocationScopes(int scopes) { Instance().game_scopes = scopes; }

GameAllocationScope::GameAllocationScope() { ++Instance().game_scopes; }
GameAllocationScope::~GameAllocationScope() { --Instance().game_scopes; }

}  // namespace devserver::engine_allocator
