// The questions asked of the configuration: a class's limit and the level rule.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "config/config.h"
#include "host/text.h"
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

// The name is the UTF-8 text of the whole key: letter case counts, and so does every unit after a
// zero unit, although the count table's order stops there.
TEST_F(ConfigLookupTest, LimitNamesMatchTheWholeKeysUtf8TextExactly) {
  Read(R"({"Max_Dino_Counts": {"Blueprint'/Game/Rex.Rex'": 3, "Re": 7, "Re\u0000x": 8,
           "Blueprint'/Game/\u00C4.\u00C4'": 4, "\u00C4\u0000": 5, "Z\u0000": "9"}})");
  const std::pair<std::u16string_view, int32_t> expected[] = {
      {u"Blueprint'/Game/Rex.Rex'", 3},
      {u"blueprint'/game/rex.rex'", -1},
      {u" Blueprint'/Game/Rex.Rex'", -1},
      {u"Re", 7},
      {std::u16string_view(u"Re\0x", 4), 8},
      {std::u16string_view(u"Re\0y", 4), -1},
      {std::u16string_view(u"Re\0", 3), -1},
      {std::u16string_view(u"RE\0x", 4), -1},
      {u"Blueprint'/Game/\u00C4.\u00C4'", 4},
      {std::u16string_view(u"\u00C4\0", 2), 5},
      {u"\u00C4", -1},
      // Only the whole key finds the limit of the wrong type.
      {u"Z", -1},
  };
  for (const auto& [units, limit] : expected) {
    FString class_key;
    class_key.AppendUnits(units);
    EXPECT_EQ(GetMaxDinoCount(class_key), limit) << ToUtf8(units);
  }
  FString mistyped;
  mistyped.AppendUnits(std::u16string_view(u"Z\0", 2));
  EXPECT_EQ(ErrorOf([&] { GetMaxDinoCount(mistyped); }),
            "[json.exception.type_error.302] type must be number, but is string");
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
