#include <gtest/gtest.h>

#include <vector>

#include "devserver/control/server.h"
#include "host/engine_memory.h"
#include "host/engine_types.h"

namespace {

TEST(EngineSlackRule, FourForASmallFirstArrayThenAThirdAndSixteenMore) {
  EXPECT_EQ(engine_memory::GrownCapacity(0, 1), 4);
  EXPECT_EQ(engine_memory::GrownCapacity(0, 4), 4);
  EXPECT_EQ(engine_memory::GrownCapacity(0, 5), 5 + 1 + 16);
  EXPECT_EQ(engine_memory::GrownCapacity(4, 5), 5 + 1 + 16);
  EXPECT_EQ(engine_memory::GrownCapacity(22, 23), 23 + 8 + 16);
  EXPECT_EQ(engine_memory::GrownCapacity(100, 101), 101 + 37 + 16);
}

TEST(EngineArrayAdd, GrowsByTheSlackRuleAndKeepsTheOrder) {
  const int64_t blocks_before = devserver::Memory().live_blocks;
  {
    EngineArray<FName> names;
    std::vector<int32_t> capacities;
    for (int32_t i = 0; i < 30; ++i) {
      names.Add(FName{i, 0});
      capacities.push_back(names.ArrayMax);
    }
    EXPECT_EQ(capacities[0], 4);
    EXPECT_EQ(capacities[3], 4);
    EXPECT_EQ(capacities[4], 22);
    EXPECT_EQ(capacities[21], 22);
    EXPECT_EQ(capacities[22], 47);
    ASSERT_EQ(names.Num(), 30);
    for (int32_t i = 0; i < 30; ++i) EXPECT_EQ(names[i].ComparisonIndex, i);
    // One block, grown in place or moved by Realloc, never two.
    EXPECT_EQ(devserver::Memory().live_blocks, blocks_before + 1);
  }
  EXPECT_EQ(devserver::Memory().live_blocks, blocks_before);
}

TEST(EngineMemory, ThrowsLikeOperatorNewWhenTheEngineHasNoMemory) {
  devserver::FailAllocationAfter(1);
  EXPECT_THROW(engine_memory::Malloc(16), std::bad_alloc);
  void* block = engine_memory::Malloc(16);
  devserver::FailAllocationAfter(1);
  EXPECT_THROW(engine_memory::Realloc(block, 64), std::bad_alloc);
  // The failed Realloc left the block as it was.
  engine_memory::Free(block);
  EXPECT_EQ(devserver::Memory().double_frees, 0);
  EXPECT_EQ(devserver::Memory().foreign_frees, 0);
}

}  // namespace
