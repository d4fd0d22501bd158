// Reading config.json: what a read takes from the file, and that a failed read changes nothing.

#include <nlohmann/json.hpp>

#include "config/config.h"
#include "tests/support/plugin_test.h"

namespace {

using nlohmann::json;

class ReadConfigTest : public PluginTest {};

constexpr const char* kEndOfInput =
    "syntax error while parsing value - unexpected end of input; expected '[', '{', or a literal";

TEST_F(ReadConfigTest, AFailedReadKeepsTheDocumentInForce) {
  WriteConfig(R"({"Max_Dino_Counts": {"A": 5}, "MaxDinoLevel": 3})");
  ASSERT_EQ(ErrorOf(ReadConfig), "");
  const json in_force = config;

  struct BrokenFile {
    std::string text;
    std::string error;
  };
  const BrokenFile broken_files[] = {
      // Cut off after a member name and its colon, inside "Max_Dino_Counts".
      {R"({"Max_Dino_Counts": {"A": 7, "B":)",
       std::string("[json.exception.parse_error.101] parse error at line 1, column 34: ") +
           kEndOfInput},
      {"", std::string("[json.exception.parse_error.101] parse error at line 1, column 1: ") +
               kEndOfInput},
      {"{\n  // a note\n}",
       "[json.exception.parse_error.101] parse error at line 2, column 3: syntax error while "
       "parsing object key - invalid literal; last read: '{<U+000A>  /'; expected string literal"},
      {R"({"A": 1,})",
       "[json.exception.parse_error.101] parse error at line 1, column 9: syntax error while "
       "parsing object key - unexpected '}'; expected string literal"},
      // A byte-order mark other than UTF-8's.
      {"\xFF\xFE{}",
       "[json.exception.parse_error.101] parse error at line 1, column 1: syntax error while "
       "parsing value - invalid literal; last read: '\xFF'"},
      {R"({"MaxDinoLevel": 1e400})",
       "[json.exception.out_of_range.406] number overflow parsing '1e400'"},
  };
  for (const BrokenFile& file : broken_files) {
    WriteConfig(file.text);
    EXPECT_EQ(ErrorOf(ReadConfig), file.error) << file.text;
    EXPECT_EQ(config, in_force) << file.text;
  }

  RemoveConfig();
  EXPECT_EQ(ErrorOf(ReadConfig), "Can't open config.json");
  EXPECT_EQ(config, in_force);
}

TEST_F(ReadConfigTest, ReadsTheFirstValueAndReplacesTheWholeDocument) {
  WriteConfig(R"({"WriteDumpsToFile": true, "MaxDinoLevel": 3})");
  ASSERT_EQ(ErrorOf(ReadConfig), "");

  // A UTF-8 byte-order mark is skipped, the later of two equal names wins, and whatever follows
  // the first value is not read.
  WriteConfig("\xEF\xBB\xBF{\"MaxDinoLevel\": 1, \"MaxDinoLevel\": 2} not JSON // {");
  ASSERT_EQ(ErrorOf(ReadConfig), "");
  EXPECT_EQ(config, json::parse(R"({"MaxDinoLevel": 2})"));
  EXPECT_FALSE(LookupBool(config, "WriteDumpsToFile", false));
}

TEST_F(ReadConfigTest, ATopLevelArrayReadsButEveryLookupFails) {
  WriteConfig("[1, 2]");
  ASSERT_EQ(ErrorOf(ReadConfig), "");
  const std::string cannot_use = "[json.exception.type_error.306] cannot use value() with array";
  EXPECT_EQ(ErrorOf([] { GetMaxDinoCount(FString("Blueprint'/Game/A.A'")); }), cannot_use);
  EXPECT_EQ(ErrorOf([] { IsOverMaxLevel(1); }), cannot_use);
  EXPECT_EQ(ErrorOf([] { LookupBool(config, "WriteDumpsToFile", false); }), cannot_use);
}

TEST_F(ReadConfigTest, BeforeAnyReadLookupsNameTheNullDocument) {
  EXPECT_EQ(ErrorOf([] { IsOverMaxLevel(1); }),
            "[json.exception.type_error.306] cannot use value() with null");
}

}  // namespace
