// The questions asked of the configuration: a class's limit and the level rule.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "config/config.h"
#include "tests/support/plugin_test.h"

namespace {

class ConfigLookupTest : public PluginTest {
 protected:
  void Read(std::string_view text) {
    WriteConfig(text);
    ASSERT_EQ(ErrorOf(ReadConfig), "") << text;
  }
};

int32_t LimitOf(const char* class_key) { return GetMaxDinoCount(FString(class_key)); }

TEST_F(ConfigLookupTest, LimitsAreTakenAsSigned32BitIntegers) {
  Read(R"({"Max_Dino_Counts": {"A": 40, "B": 0, "C": -1, "D": -5, "E": 2.9, "F": true,
           "G": 4294967296, "H": 4294967295, "I": false, "J": 1e12, "K": -1e12, "L": -2.9,
           "M": 18446744073709551616, "N": -4294967297}})");
  const std::pair<const char*, int32_t> expected[] = {
      {"A", 40},
      {"B", 0},
      {"C", -1},
      {"D", -5},
      {"E", 2},
      {"F", 1},
      {"G", 0},
      {"H", -1},
      {"I", 0},
      // Floating-point values beyond the 32-bit range are held at its ends; integers keep their
      // low 32 bits.
      {"J", 2147483647},
      {"K", -2147483647 - 1},
      {"L", -2},
      {"M", 2147483647},
      {"N", -1},
      {"not listed", -1},
  };
  for (const auto& [class_key, limit] : expected) EXPECT_EQ(LimitOf(class_key), limit) << class_key;
}

TEST_F(ConfigLookupTest, LimitNamesMatchTheKeysUtf8TextExactly) {
  Read(
      "{\"Max_Dino_Counts\": {\"Blueprint'/Game/Rex.Rex'\": 3, \"Re\": 7, "
      "\"Blueprint'/Game/\xC3\x84.\xC3\x84'\": 4}}");
  EXPECT_EQ(LimitOf("Blueprint'/Game/Rex.Rex'"), 3);
  EXPECT_EQ(LimitOf("blueprint'/game/rex.rex'"), -1);
  EXPECT_EQ(LimitOf(" Blueprint'/Game/Rex.Rex'"), -1);
  // A key's text ends at its first zero unit.
  FString with_zero;
  with_zero.AppendUnits(std::u16string_view(u"Re\0x", 4));
  EXPECT_EQ(GetMaxDinoCount(with_zero), 7);
  FString non_ascii;
  non_ascii.AppendUnits(u"Blueprint'/Game/\u00C4.\u00C4'");
  EXPECT_EQ(GetMaxDinoCount(non_ascii), 4);
}

TEST_F(ConfigLookupTest, WrongTypesAreFoundAtTheLookup) {
  Read(R"({"Max_Dino_Counts": {"A": 5, "S": "10", "Z": null}})");
  EXPECT_EQ(LimitOf("A"), 5);
  EXPECT_EQ(ErrorOf([] { LimitOf("S"); }),
            "[json.exception.type_error.302] type must be number, but is string");
  EXPECT_EQ(ErrorOf([] { LimitOf("Z"); }),
            "[json.exception.type_error.302] type must be number, but is null");

  const std::pair<std::string, std::string> not_objects[] = {
      {"null", "null"}, {"array", "[]"}, {"number", "1"}, {"string", "\"x\""}};
  for (const auto& [type, value] : not_objects) {
    Read(R"({"Max_Dino_Counts": )" + value + "}");
    const std::string cannot_use =
        "[json.exception.type_error.306] cannot use value() with " + type;
    EXPECT_EQ(ErrorOf([] { LimitOf("A"); }), cannot_use);
    EXPECT_EQ(ErrorOf([] { LimitOf("not listed"); }), cannot_use);
  }
}

TEST_F(ConfigLookupTest, LevelRule) {
  struct Case {
    const char* file;
    std::vector<std::pair<int32_t, bool>> levels;
  };
  const Case cases[] = {
      {R"({"DestroyDinosOverLevel": true, "MaxDinoLevel": 100})",
       {{99, false}, {100, true}, {101, true}}},
      {R"({"DestroyDinosOverLevel": true})", {{2147483646, false}, {2147483647, true}}},
      {R"({"DestroyDinosOverLevel": true, "MaxDinoLevel": 0})",
       {{-1, false}, {0, true}, {7, true}}},
      {R"({"DestroyDinosOverLevel": true, "MaxDinoLevel": 99.9})", {{98, false}, {99, true}}},
      {R"({"DestroyDinosOverLevel": true, "MaxDinoLevel": -1e12})", {{-2147483647 - 1, true}}},
      // While the rule is off, "MaxDinoLevel" is not read at all.
      {R"({"DestroyDinosOverLevel": false, "MaxDinoLevel": "100"})", {{2147483647, false}}},
      {R"({"MaxDinoLevel": "100"})", {{2147483647, false}}},
  };
  for (const Case& c : cases) {
    Read(c.file);
    for (const auto& [level, over] : c.levels) {
      EXPECT_EQ(IsOverMaxLevel(level), over) << c.file << " level " << level;
    }
  }

  Read(R"({"DestroyDinosOverLevel": 1})");
  EXPECT_EQ(ErrorOf([] { IsOverMaxLevel(1); }),
            "[json.exception.type_error.302] type must be boolean, but is number");
  Read(R"({"DestroyDinosOverLevel": true, "MaxDinoLevel": "100"})");
  EXPECT_EQ(ErrorOf([] { IsOverMaxLevel(1); }),
            "[json.exception.type_error.302] type must be number, but is string");
}

}  // namespace
