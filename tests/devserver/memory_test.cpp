// FMemory's accounting: live blocks, double frees and foreign pointers caught, failures injected,
// and which blocks nobody in the world or the host owns.

#include <cstring>

#include "host/api.h"
#include "host/engine_memory.h"
#include "host/game_functions.h"
#include "tests/devserver/devserver_test.h"

namespace {

using MallocFn = void* (*)(std::size_t, uint32_t);
using ReallocFn = void* (*)(void*, std::size_t);
using FreeFn = void (*)(void*);

void* Malloc(std::size_t bytes, uint32_t alignment = 0) {
  return reinterpret_cast<MallocFn>(GetAddress("FMemory.Malloc"))(bytes, alignment);
}
void* Realloc(void* block, std::size_t bytes) {
  return reinterpret_cast<ReallocFn>(GetAddress("FMemory.Realloc"))(block, bytes);
}
void Free(void* block) { reinterpret_cast<FreeFn>(GetAddress("FMemory.Free"))(block); }

class MemoryTest : public DevServerTest {};

TEST_F(MemoryTest, CountsLiveBlocksAndBytes) {
  const devserver::MemoryReport before = devserver::Memory();
  void* a = Malloc(100);
  void* b = Malloc(28, 64);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 64, 0u);
  devserver::MemoryReport now = devserver::Memory();
  EXPECT_EQ(now.live_blocks, before.live_blocks + 2);
  EXPECT_EQ(now.live_bytes, before.live_bytes + 128);
  EXPECT_EQ(now.unowned_blocks, before.unowned_blocks + 2);
  EXPECT_EQ(now.unowned_bytes, before.unowned_bytes + 128);

  a = Realloc(a, 300);
  static_cast<unsigned char*>(a)[299] = 1;
  b = Realloc(b, 8);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 64, 0u);
  now = devserver::Memory();
  EXPECT_EQ(now.live_blocks, before.live_blocks + 2);
  EXPECT_EQ(now.live_bytes, before.live_bytes + 308);
  // Every block handed out, a reallocation's new block included.
  EXPECT_EQ(now.allocations, before.allocations + 4);

  Free(a);
  EXPECT_EQ(Realloc(b, 0), nullptr);  // a zero size gives the block back
  Free(nullptr);
  now = devserver::Memory();
  EXPECT_EQ(now.live_blocks, before.live_blocks);
  EXPECT_EQ(now.live_bytes, before.live_bytes);
}

TEST_F(MemoryTest, ReallocKeepsTheContents) {
  auto* text = static_cast<char*>(Malloc(4));
  std::memcpy(text, "abc", 4);
  text = static_cast<char*>(Realloc(text, 1000));
  EXPECT_STREQ(text, "abc");
  Free(text);
}

TEST_F(MemoryTest, DoubleFreesAreCaughtAndNotPerformed) {
  void* block = Malloc(16);
  Free(block);
  Free(block);
  EXPECT_EQ(Realloc(block, 32), nullptr);
  EXPECT_EQ(devserver::Memory().double_frees, 2);
  EXPECT_EQ(TakeFaults(), (std::vector<std::string>{
                              "FMemory.Free: block already freed (double free)",
                              "FMemory.Realloc: block already freed (double free)",
                          }));
}

TEST_F(MemoryTest, ForeignPointersAreCaughtAndNotPerformed) {
  int on_the_stack = 0;
  Free(&on_the_stack);
  EXPECT_EQ(Realloc(&on_the_stack, 8), nullptr);
  EXPECT_EQ(devserver::Memory().foreign_frees, 2);
  EXPECT_EQ(TakeFaults(), (std::vector<std::string>{
                              "FMemory.Free: pointer that FMemory never handed out",
                              "FMemory.Realloc: pointer that FMemory never handed out",
                          }));
}

TEST_F(MemoryTest, AReusedAddressIsLiveAgain) {
  // Freed and handed out again at the same address: freeing it now is no double free.
  void* first = Malloc(24);
  Free(first);
  void* second = nullptr;
  std::vector<void*> others;
  for (int i = 0; i < 64 && second != first; ++i) {
    second = Malloc(24);
    if (second != first) others.push_back(second);
  }
  for (void* other : others) Free(other);
  // Without reuse there is nothing to check: the sanitizers' allocators hold freed addresses back.
  if (second != first) GTEST_SKIP() << "the allocator never handed the freed address out again";
  Free(second);
  EXPECT_EQ(devserver::Memory().double_frees, 0);
}

TEST_F(MemoryTest, InjectedFailureHitsTheNthAllocationOnly) {
  devserver::FailAllocationAfter(2);
  void* first = Malloc(8);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(Malloc(8), nullptr);
  void* third = Malloc(8);
  EXPECT_NE(third, nullptr);
  devserver::FailAllocationAfter(1);
  EXPECT_EQ(Realloc(first, 64), nullptr);  // the block stays as it was
  Free(first);
  Free(third);
  EXPECT_EQ(devserver::Memory().double_frees, 0);
}

TEST_F(MemoryTest, TagArraysAndRegistryNamesBelongToTheWorldAndTheHost) {
  const int64_t unowned = devserver::Memory().unowned_blocks;
  const auto id = PlaceOne(kStrider);
  game::Tags(devserver::CreatureObject(id)).Add(game::MakeName("SpawnedFromNPCZone"));
  ArkApi::GetCommands().AddConsoleCommand(FString("fake.cmd"),
                                          [](APlayerController*, FString*, bool) {});
  EXPECT_EQ(devserver::Memory().unowned_blocks, unowned);
  {
    FString held("held by the caller");
    EXPECT_EQ(devserver::Memory().unowned_blocks, unowned + 1);
  }
  ArkApi::GetCommands().RemoveConsoleCommand(FString("fake.cmd"));
}

}  // namespace
