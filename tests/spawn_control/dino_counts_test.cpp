// The count table, the class key and the tags, called directly against the stand-in's classes,
// creatures and engine memory.

#include "spawn_control/dino_counts.h"

#include <type_traits>
#include <vector>

#include "config/config.h"
#include "host/game_functions.h"
#include "host/text.h"
#include "spawn_control/tags.h"
#include "tests/support/plugin_test.h"
#include "tests/support/world_events.h"

namespace {

using DinoCountsTest = PluginTest;

TEST_F(DinoCountsTest, ClassKeyDropsTheLastTwoCharactersOfTheReference) {
  EXPECT_EQ(ToUtf8(MakeClassKey(devserver::CreatureClass(kRaptor))), kRaptorKey);
  EXPECT_EQ(ToUtf8(MakeClassKey(devserver::CreatureClass("/Game/Dodo.Dodo_C"))),
            devserver::ClassKeyOf("/Game/Dodo.Dodo_C"));
  EXPECT_EQ(ToUtf8(MakeClassKey(devserver::CreatureClass("X"))), "Blueprint''");
  const FString none = MakeClassKey(nullptr);
  EXPECT_EQ(none.Num(), 0);
}

TEST_F(DinoCountsTest, RoomTestComparesUnsignedAndAddsTheKeyAtZero) {
  ReplaceConfig(
      nlohmann::json::parse(R"({"Max_Dino_Counts": {"A": 3, "B": 0, "C": -1, "D": -5}})"));
  const FString a("A"), b("B"), c("C"), d("D");
  for (int count = 0; count < 5; ++count) {
    EXPECT_EQ(IsBelowMaxCount(a), count < 3) << count;
    EXPECT_FALSE(IsBelowMaxCount(b)) << count;
    EXPECT_TRUE(IsBelowMaxCount(c)) << count;
    EXPECT_TRUE(IsBelowMaxCount(d)) << count;
    CountUp(a), CountUp(c), CountUp(d);
  }
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{"A", 5}, {"B", 0}, {"C", 5}, {"D", 5}}));
}

TEST_F(DinoCountsTest, CountDownCreatesAMissingKeyAtZeroAndNeverGoesBelowZero) {
  CountDown(FString("A"));
  CountUp(FString("B"));
  CountDown(FString("B"));
  CountDown(FString("B"));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{"A", 0}, {"B", 0}}));
}

// The limit is looked up by exact text, the count ignores case: a second class whose key differs
// only in case has no limit of its own but fills the first one's entry.
TEST_F(DinoCountsTest, SpawnsOfClassesDifferingInCaseCountIntoOneEntry) {
  WriteConfig(R"({"Max_Dino_Counts": {"Blueprint'/Game/Raptor.Raptor'": 1}})");
  StartServer(true);
  Attach();
  devserver::Spawn(SpawnOf(kRaptor));
  const auto other = devserver::Spawn(SpawnOf("/GAME/raptor.RAPTOR_C")).at(0);
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 2}}));
  ASSERT_TRUE(devserver::Destroy(other));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 1}}));
  EXPECT_EQ(devserver::PendingTimerTasks(), 0u);
  // The other spelling counted down the shared entry; the limited class is still full.
  devserver::Spawn(SpawnOf(kRaptor));
  EXPECT_EQ(devserver::PendingTimerTasks(), 1u);
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 1}}));
}

FString Key(std::u16string_view units) {
  FString key;
  key.AppendUnits(units);
  return key;
}

// Spellings the table's order holds as one entry are one entry however the entry is found: the
// first spelling stays, folding stops at a zero unit and touches only A-Z.
TEST_F(DinoCountsTest, EverySpellingOfAKeyFindsTheSameEntry) {
  const std::pair<std::u16string_view, std::u16string_view> same[] = {
      {u"Blueprint'/Game/A.A'", u"BLUEPRINT'/game/a.A'"},
      {std::u16string_view(u"Ab\0x", 4), std::u16string_view(u"aB\0y", 4)},
      {std::u16string_view(u"\0x", 2), u""},
  };
  for (const auto& [first, second] : same) {
    ClearDinoCounts();
    CountUp(Key(first));
    CountUp(Key(second));
    CountDown(Key(first));
    CountUp(Key(second));
    ASSERT_EQ(DinoCounts.size(), 1u) << ToUtf8(first);
    EXPECT_EQ(DinoCounts.begin()->first.View(), first);
    EXPECT_EQ(DinoCounts.begin()->second, 2u) << ToUtf8(first);
  }
  ClearDinoCounts();
  CountUp(Key(u"\u00C4"));
  CountUp(Key(u"\u00E4"));
  CountUp(Key(u"Ab"));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{"Ab", 1}, {"\xC3\x84", 1}, {"\xC3\xA4", 1}}));
}

// The table can change only through the operations that keep its index.
static_assert(std::is_const_v<std::remove_reference_t<decltype(DinoCounts)>>);

// A clear frees every entry; a refill to the same size, with the same keys or with others, builds
// new ones. Neither the index nor a count the room test found before the clear may still point at
// a freed entry (the address sanitizer sees any such write).
TEST_F(DinoCountsTest, CountsAfterAClearAndARefillToTheSameSizeGoToTheNewEntries) {
  ReplaceConfig(nlohmann::json::object());
  const std::pair<std::vector<const char*>, CountEntries> refills[] = {
      {{"A", "B"}, {{"A", 3}, {"B", 0}, {"C", 1}}},
      {{"B", "C"}, {{"A", 2}, {"B", 0}, {"C", 2}}},
  };
  for (const auto& [refill, expected] : refills) {
    ClearDinoCounts();
    CountUp(FString("A"));
    CountUp(FString("B"));
    FoundCount found;
    ASSERT_TRUE(IsBelowMaxCount(FString("A"), &found));
    ClearDinoCounts();
    for (const char* key : refill) CountUp(FString(key));
    ASSERT_EQ(DinoCounts.size(), 2u);
    CountUp(FString("A"), found);
    CountUp(FString("A"));
    CountDown(FString("B"));
    CountUp(FString("C"));
    EXPECT_EQ(DinoCountEntries(), expected) << refill[0] << refill[1];
  }
}

TEST_F(DinoCountsTest, ClearingGivesEveryKeyBackToTheEngine) {
  const int64_t before = devserver::Memory().unowned_blocks;
  CountUp(FString("A"));
  CountUp(FString("B"));
  EXPECT_EQ(devserver::Memory().unowned_blocks, before + 2);
  ClearDinoCounts();
  EXPECT_EQ(DinoCountEntries(), CountEntries{});
  EXPECT_EQ(devserver::Memory().unowned_blocks, before);
}

TEST_F(DinoCountsTest, TagArrayGrowsByTheEngineRuleAndKeepsItsOrder) {
  const auto id = devserver::Place(PlaceOf(kRaptor)).at(0);
  auto* dino = devserver::CreatureObject(id);
  const EngineArray<FName>& tags = game::Tags(dino);
  std::vector<std::string> added;
  const std::vector<int32_t> capacities = {4, 4, 4, 4, 22, 22};
  for (size_t i = 0; i < capacities.size(); ++i) {
    added.push_back(i % 2 == 0 ? kCountedTag : "Tag" + std::to_string(i));
    AddTag(dino, added.back().c_str());
    EXPECT_EQ(tags.ArrayMax, capacities[i]) << "after tag " << i + 1;
  }
  EXPECT_EQ(devserver::FindCreature(id)->tags, added);
  EXPECT_TRUE(HasTag(dino, kCountedTag));
  EXPECT_TRUE(HasTag(dino, "Tag5"));
  EXPECT_FALSE(HasTag(dino, kIgnoreTag));
}

}  // namespace
