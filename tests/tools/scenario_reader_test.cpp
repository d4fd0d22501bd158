// Scenario files: what a good one holds, and where a bad one is wrong.

#include <gtest/gtest.h>

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
  EXPECT_EQ(scenario.actions[0].text, R"({"A":[1,2.5,"x\"y",null,true]})");
  EXPECT_EQ(scenario.actions[1].via, Channel::Console);
}

TEST(ScenarioReader, ErrorsNameTheFileLineColumnAndWhatWasExpected) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"",
       "bad.json:1:1: syntax error while parsing value - unexpected end of input; expected '[', "
       "'{', or a literal"},
      {"{\n  \"hours\": 2,\n}",
       "bad.json:3:1: syntax error while parsing object key - unexpected '}'; expected string "
       "literal"},
      {"{\"hours\": 2} x", "bad.json:1:14: expected the end of the file after the value"},
      {"{\"hours\": 2\n \"name\": \"a\"}",
       "bad.json:1:12: expected a comma here (syntax error while parsing object - unexpected "
       "string "
       "literal; expected '}')"},
      {"{\"hours\": 2, \"hours\": 3}", "bad.json:1:14: member \"hours\" given twice"},
      {"\xEF\xBB\xBF{\"n\xC3\xA9\": 1}",
       "bad.json:1:2: unknown member \"n\xC3\xA9\" in the scenario (expected one of \"name\", "
       "\"hours\", \"sample_minutes\", \"plugin\", \"load_at_hours\", \"corpse_decay_seconds\", "
       "\"classes\", \"zones\", \"population\", \"actions\")"},
      {"{\"zones\": [{\"name\": \"\xC3\xA9\xC3\xA9\", \"mix\": {}, \"target\": 3}]}",
       "bad.json:1:34: expected at least one class in the mix"},  // columns count characters
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
       "bad.json:1:14: expected a member \"class\" in a \"tame\" action"},
      // An action that would do nothing without a member says so.
      {"{\"actions\": [{\"at\": 1, \"do\": \"tame\", \"class\": \"/G/A.A_C\"}]}",
       "bad.json:1:14: expected a member \"count\" in a \"tame\" action"},
      {"{\"actions\": [{\"at\": 1, \"do\": \"kill\", \"class\": \"/G/A.A_C\"}]}",
       "bad.json:1:14: expected a member \"count\" in a \"kill\" action"},
      {"{\"actions\": [{\"at\": 1, \"do\": \"place\", \"class\": \"/G/A.A_C\"}]}",
       "bad.json:1:14: expected a member \"count\" in a \"place\" action"},
      {"{\"population\": [{\"count\": 2}]}",
       "bad.json:1:17: expected a member \"class\" in a population group"},
      {"{\"actions\": [{\"do\": \"load\"}]}",
       "bad.json:1:14: expected a member \"at\" in an action"},
      {"{\"actions\": [{\"at\": 1, \"do\": \"write\", \"text\": \"{}\"}]}",
       "bad.json:1:14: expected a member \"file\" in a \"write\" action"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      ReadScenario(c.text, "bad.json");
      ADD_FAILURE() << "no error";
    } catch (const ScenarioError& error) {
      EXPECT_STREQ(error.what(), c.error);
    }
  }
}

// Bytes that are not text are written as \xHH in the message, and UTF-16 is named as such.
TEST(ScenarioReader, ErrorsShowBytesSafelyAndNameUtf16) {
  using namespace std::string_view_literals;
  const struct {
    std::string_view text;
    const char* error;
  } cases[] = {
      {"{\"hours\": \xFF}"sv,
       "bad.json:1:11: syntax error while parsing value - invalid literal; last read: "
       "'\"hours\": \\xFF'"},
      {"\xFF\xFE{\0\"\0h\0\"\0:\0 \0001\0}\0"sv,
       "bad.json:1:1: the file is UTF-16 text, and scenarios are read as UTF-8; save it as UTF-8 "
       "(in the editor's Save As, choose the encoding UTF-8)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    try {
      ReadScenario(c.text, "bad.json");
      ADD_FAILURE() << "no error";
    } catch (const ScenarioError& error) {
      EXPECT_STREQ(error.what(), c.error);
    }
  }
}

}  // namespace
