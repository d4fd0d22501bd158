// Scenario files: what a good one holds, and where a bad one is wrong.

#include <gtest/gtest.h>

#include "tools/scenario/located_json.h"
#include "tools/scenario/scenario.h"

namespace {

constexpr const char* kStrider = "/Game/Creatures/Strider/Strider_Character.Strider_Character_C";

TEST(ScenarioReader, ReadsEveryPart) {
  const std::string text = std::string(R"({
  "name": "two zones", "hours": 2, "sample_minutes": 5, "plugin": "running-world",
  "load_at_hours": 0.5, "corpse_decay_seconds": 30,
  "classes": { ")") + kStrider +
                           R"(": { "deaths_per_hour": 0.5, "tame_chance": 0.25 } },
  "zones": [ { "name": "a", "mix": { ")" +
                           kStrider + R"(": 2 }, "target": 7,
               "check_seconds": 45, "levels": [3, 9] } ],
  "population": [ { "class": ")" +
                           kStrider + R"(", "count": 4, "levels": 12, "tamed": true } ],
  "actions": [
    { "at": 1.5, "do": "reload", "via": "console" },
    { "at": 1, "do": "write", "file": "config.json", "json": {"A": [1, 2.5, "x\"y", null, true]} }
  ]
})";
  const Scenario scenario = ReadScenario(text, "s.json");
  EXPECT_EQ(scenario.name, "two zones");
  EXPECT_TRUE(scenario.load_into_running_world);
  EXPECT_EQ(scenario.load_at_hours, 0.5);
  EXPECT_EQ(scenario.corpse_decay_seconds, 30);
  EXPECT_EQ(scenario.classes.at(kStrider).tame_chance, 0.25);
  ASSERT_EQ(scenario.zones.size(), 1u);
  EXPECT_EQ(scenario.zones[0].target, 7);
  EXPECT_EQ(scenario.zones[0].min_level, 3);
  EXPECT_EQ(scenario.zones[0].max_level, 9);
  ASSERT_EQ(scenario.population.size(), 1u);
  EXPECT_EQ(scenario.population[0].levels.low, 12);
  EXPECT_TRUE(scenario.population[0].tamed);
  // Actions run in time order, whatever order the file lists them in.
  ASSERT_EQ(scenario.actions.size(), 2u);
  EXPECT_EQ(scenario.actions[0].kind, ScenarioAction::Kind::Write);
  EXPECT_EQ(scenario.actions[0].text, R"({"A": [1, 2.5, "x\"y", null, true]})");
  EXPECT_EQ(scenario.actions[1].via, Channel::Console);
}

TEST(ScenarioReader, ErrorsNameTheFileLineColumnAndWhatWasExpected) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"", "bad.json:1:1: expected a value, found the end of the file"},
      {"{\n  \"hours\": 2,\n}", "bad.json:3:1: expected a member name in double quotes"},
      {"{\"hours\": 2} x", "bad.json:1:14: expected the end of the file after the value"},
      {"{\"name\": \"a\nb\"}", "bad.json:1:12: expected '\"' to close the string on its line"},
      {"[]", "bad.json:1:1: expected an object, found an array"},
      {"{\n  \"hour\": 2\n}",
       "bad.json:2:3: unknown member \"hour\" in the scenario (expected one of \"name\", "
       "\"hours\", \"sample_minutes\", \"plugin\", \"load_at_hours\", \"corpse_decay_seconds\", "
       "\"classes\", \"zones\", \"population\", \"actions\")"},
      {"{\"hours\": -1}", "bad.json:1:11: expected a number above 0"},
      {"{\"plugin\": \"later\"}", "bad.json:1:12: expected \"before-world\" or \"running-world\""},
      {"{\"zones\": [{\"target\": 3}]}", "bad.json:1:12: expected a member \"mix\" in a zone"},
      {"{\"zones\": [{\"mix\": {\"Strider\": 1}, \"target\": 3}]}",
       "bad.json:1:21: expected a class's reference text, such as \"/Game/Path/Name.Name_C\""},
      {"{\"zones\": [{\"mix\": {\"/G/A.A_C\": 1}, \"target\": 2.5}]}",
       "bad.json:1:47: expected a whole number from 0 to 1000000"},
      {"{\"zones\": [{\"mix\": {\"/G/A.A_C\": 1}, \"target\": 1, \"levels\": [9, 3]}]}",
       "bad.json:1:64: expected a highest level of at least 9"},
      {"{\"classes\": {\"/G/A.A_C\": {\"tame_chance\": 1.5}}}",
       "bad.json:1:42: expected a chance from 0 to 1"},
      {"{\"hours\": 2, \"actions\": [{\"at\": 3, \"do\": \"load\"}]}",
       "bad.json:1:33: expected a time within the run (at most 2 hours)"},
      {"{\"actions\": [{\"at\": 1, \"do\": \"jump\"}]}",
       "bad.json:1:30: expected \"write\" or \"reload\" or \"dumpdinos\" or \"destroywilddinos\" "
       "or "
       "\"unload\" or \"load\" or \"tame\" or \"kill\" or \"place\""},
      {"{\"actions\": [{\"at\": 1, \"do\": \"write\", \"file\": \"../x\", \"text\": \"\"}]}",
       "bad.json:1:47: expected a plain file name in the plug-in's folder"},
      {"{\"actions\": [{\"at\": 1, \"do\": \"tame\", \"count\": 2}]}",
       "bad.json:1:14: expected a member \"class\" in this entry"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      ReadScenario(c.text, "bad.json");
      ADD_FAILURE() << "no error";
    } catch (const LocatedError& error) {
      EXPECT_STREQ(error.what(), c.error);
    }
  }
}

}  // namespace

namespace {

TEST(LocatedJson, ReadsStringsAndNumbersAsJsonWritesThem) {
  const struct {
    const char* text;
    const char* string;  // the value of a string
    double number;       // or of a number
    bool integral;
  } cases[] = {
      {R"("a\"b\\c\/d\n\t")", "a\"b\\c/d\n\t", 0, false},
      {R"("\u00e9\u20ac")", "\xC3\xA9\xE2\x82\xAC", 0, false},
      {R"("\ud83d\ude00")", "\xF0\x9F\x98\x80", 0, false},  // a surrogate pair
      {"\xEF\xBB\xBF\"bom\"", "bom", 0, false},             // a byte-order mark is skipped
      {"-12", nullptr, -12, true},
      {"0.5", nullptr, 0.5, false},
      {"2e3", nullptr, 2000, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const LocatedJson value = ReadLocatedJson(c.text, "t");
    if (c.string != nullptr) {
      EXPECT_EQ(value.text, c.string);
    } else {
      EXPECT_EQ(value.number, c.number);
      EXPECT_EQ(value.integral, c.integral);
    }
  }
}

TEST(LocatedJson, PlacesCountCharactersAndLines) {
  // "é" is two bytes but one column; a value's place is where it starts.
  const LocatedJson root = ReadLocatedJson("{\"\xC3\xA9\": 1,\r\n  \"b\":\n\t[true, null]}", "t");
  ASSERT_EQ(root.members.size(), 2u);
  EXPECT_EQ(root.members[0].value.place.line, 1);
  EXPECT_EQ(root.members[0].value.place.column, 7);
  EXPECT_EQ(root.members[1].place.line, 2);
  EXPECT_EQ(root.members[1].place.column, 3);
  EXPECT_EQ(root.members[1].value.items[1].place.line, 3);
  EXPECT_EQ(root.members[1].value.items[1].place.column, 9);
  for (const char* bad : {"01", "-", "1.", "[1,]", "\"\\x\"", "nul", "{\"a\" 1}"}) {
    EXPECT_THROW(ReadLocatedJson(bad, "t"), LocatedError) << bad;
  }
}

}  // namespace
