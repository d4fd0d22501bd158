// `kestrovar check`: each finding, where it points, and the exit status it leads to.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/check/config_check.h"

namespace {

// "LINE:COLUMN severity code" for each finding, in order.
std::vector<std::string> Places(const std::vector<Finding>& findings) {
  std::vector<std::string> places;
  for (const Finding& finding : findings) {
    places.push_back(std::to_string(finding.line) + ":" + std::to_string(finding.column) +
                     (finding.severity == Severity::kError ? " error " : " warning ") +
                     finding.code);
  }
  return places;
}

struct Case {
  std::string text;
  std::vector<std::string> places;
  int exit_status;
};

TEST(CheckFindings, EachMistakeIsFoundAtItsPlace) {
  const Case cases[] = {
      {"{}", {}, 0},
      {R"({"Max_Dino_Counts": {"Blueprint'/Game/A.A'": 40, "Blueprint'/Game/B.B'": 0,
           "Blueprint'/Game/C.C'": -1, "Blueprint'/Game/D.D'": 3.0},
          "DestroyDinosOverLevel": true, "MaxDinoLevel": 150, "WriteDumpsToFile": false})",
       {},
       0},
      // What the plug-in cannot read at all.
      {"{\n  // a note\n}", {"2:3 error unreadable-json"}, 2},
      {R"({"MaxDinoLevel": 1,})", {"1:20 error unreadable-json"}, 2},
      {"", {"1:1 error unreadable-json"}, 2},
      {"\n  [1, 2]", {"2:3 error top-level-not-object"}, 2},
      {R"("text")", {"1:1 error top-level-not-object"}, 2},
      {"1x", {"1:1 error top-level-not-object", "1:2 warning ignored-text"}, 2},
      {"\xEF\xBB\xBF"
       "5",
       {"1:4 error top-level-not-object"},
       2},
      // Values of the wrong type.
      {R"({"Max_Dino_Counts": [1]})", {"1:21 error limits-not-object"}, 2},
      {R"({"Max_Dino_Counts": null})", {"1:21 error limits-not-object"}, 2},
      {"{\"Max_Dino_Counts\": {\n  \"Blueprint'/A.A'\": \"10\",\n  \"Blueprint'/B.B'\": null,\n"
       "  \"Blueprint'/C.C'\": [3], \"Blueprint'/D.D'\": {}}}",
       {"2:22 error limit-wrong-type", "3:22 error limit-wrong-type", "4:22 error limit-wrong-type",
        "4:46 error limit-wrong-type"},
       2},
      {R"({"DestroyDinosOverLevel": 1, "WriteDumpsToFile": "yes"})",
       {"1:27 error setting-wrong-type", "1:50 error setting-wrong-type"},
       2},
      {R"({"DestroyDinosOverLevel": true, "MaxDinoLevel": "150"})",
       {"1:49 error setting-wrong-type"},
       2},
      // Not read while the level rule is off, but wrong all the same; no second finding for it.
      {R"({"MaxDinoLevel": "150"})", {"1:18 error setting-wrong-type"}, 2},
      // Numbers the plug-in reads differently from what they look like.
      {"{\"Max_Dino_Counts\": {\n"
       "  \"Blueprint'/A.A'\": 2.9,\n"
       "  \"Blueprint'/B.B'\": true,\n"
       "  \"Blueprint'/C.C'\": false,\n"
       "  \"Blueprint'/D.D'\": 4294967296,\n"
       "  \"Blueprint'/E.E'\": 1e12,\n"
       "  \"Blueprint'/F.F'\": -5,\n"
       "  \"Blueprint'/G.G'\": -2147483649,\n"
       "  \"Blueprint'/H.H'\": 2147483647, \"Blueprint'/I.I'\": -2147483648}}",
       {"2:22 warning number-fraction", "3:22 warning number-boolean",
        "4:22 warning number-boolean", "5:22 warning number-out-of-range",
        "6:22 warning number-out-of-range", "7:22 warning limit-negative",
        "8:22 warning number-out-of-range", "9:53 warning limit-negative"},
       1},
      {R"({"DestroyDinosOverLevel": true, "MaxDinoLevel": 99.5, "Max_Dino_Counts": {"Blueprint'/A.A'": 2147483647.0}})",
       {"1:49 warning number-fraction"},
       1},
      // Names.
      {"{\"MaxDinoLevel\": 5,\n \"DestroyDinosOverLevel\": true,\n \"MaxDinoLevel\": 6}",
       {"1:2 warning repeated-name"},
       1},
      {"{\"Max_Dino_Counts\": {\"Blueprint'/A.A'\": \"x\",\n \"Blueprint'/A.A'\": 1}}",
       {"1:22 warning repeated-name"},
       1},
      {"{\"Max_Dino_Counts\": {\n  \"/Game/A.A_C\": 1,\n  \"Blueprint'/Game/B.B\": 2}}",
       {"2:3 warning not-a-class-key", "3:3 warning not-a-class-key"},
       1},
      {"{\"Max_Dino_Counts\": {\n  \"Blueprint'/Game/Rex.Rex'\": 1,\n"
       "  \"Blueprint'/Game/REX.rex'\": 2,\n  \"Blueprint'/Game/R\xC3\xA9x.R\xC3\xA9x'\": 3,\n"
       "  \"Blueprint'/Game/R\xC3\x89x.R\xC3\x89x'\": 4}}",
       // Only A-Z are folded, as the count table does.
       {"3:3 warning keys-differ-in-case"},
       1},
      {"{\"MaxDinoLvl\": 150,\n \"maxdinolevel\": 1}",
       {"1:2 warning unknown-setting", "2:2 warning unknown-setting"},
       1},
      {R"({"DestroyDinosOverLevel": false, "MaxDinoLevel": 10})",
       {"1:34 warning level-rule-off"},
       1},
      {R"({"MaxDinoLevel": 10})", {"1:2 warning level-rule-off"}, 1},
      {"{} x", {"1:4 warning ignored-text"}, 1},
      // Quotes, braces and colons inside names do not lead the places astray.
      {R"({"a\"{:": 1, "x": 2})",
       {"1:2 warning unknown-setting", "1:14 warning unknown-setting"},
       1},
      {"{\"MaxDinoLevel\": 3}\n\n  {\"MaxDinoLevel\": 4}",
       {"1:2 warning level-rule-off", "3:3 warning ignored-text"},
       1},
      // Places count the bytes the library counts: the byte-order mark and a multi-byte name.
      {"\xEF\xBB\xBF{\"\xC3\xA4\": 1, \"x\": 2}",
       {"1:5 warning unknown-setting", "1:14 warning unknown-setting"},
       1},
  };
  for (const Case& one : cases) {
    const std::vector<Finding> findings = CheckConfigText(one.text, "config.json");
    EXPECT_EQ(Places(findings), one.places) << one.text;
    EXPECT_EQ(ExitStatusOf(findings), one.exit_status) << one.text;
  }
}

// The message says what the plug-in makes of the value, and the fix gives the value to write.
TEST(CheckFindings, MessagesSayWhatTheValueBecomes) {
  const std::vector<Finding> findings = CheckConfigText(
      "{\"Max_Dino_Counts\": {\n"
      "  \"Blueprint'/A.A'\": 2.9,\n"
      "  \"Blueprint'/B.B'\": true,\n"
      "  \"Blueprint'/C.C'\": 4294967294,\n"
      "  \"Blueprint'/D.D'\": \"10\",\n"
      "  \"/Game/E.E_C\": 1,\n"
      "  \"Blueprint'/Game/F.F\": 1},\n"
      " \"DestroyDinosOverLevel\": 1,\n"
      " \"Max_Dino_Count\": {}}",
      "config.json");
  struct Said {
    std::string message;
    std::string fix;
  };
  const Said said[] = {
      {"the limit of \"Blueprint'/A.A'\" 2.9 is not a whole number and is taken as 2",
       "write a whole number: 2"},
      {"the limit of \"Blueprint'/B.B'\" is true, which the plug-in takes as 1",
       "write the number itself: 1"},
      {"the limit of \"Blueprint'/C.C'\" 4294967294 is outside the signed 32-bit range and is "
       "taken as -2, and a negative limit other than -1 means no limit at all",
       "write -1 for no limit, 0 to admit none, or the most creatures to keep"},
      {"the limit of \"Blueprint'/D.D'\" is a string, not a number: every spawn of the class fails "
       "to read it ([json.exception.type_error.302] type must be number, but is string) and keeps "
       "its creature",
       "write the number without quotes: 10"},
      {"\"/Game/E.E_C\" is not a class key (Blueprint'...'): it matches no class and its limit "
       "never applies",
       "if it names a class by its reference text, write its key instead: "
       "\"Blueprint'/Game/E.E'\""},
      {"\"Blueprint'/Game/F.F\" is not a class key (Blueprint'...'): it matches no class and its "
       "limit never applies",
       "close it with a quote: \"Blueprint'/Game/F.F'\""},
      {"\"DestroyDinosOverLevel\" is a number, not true or false: the level check of every spawn "
       "fails ([json.exception.type_error.302] type must be boolean, but is number)",
       "write true or false, without quotes"},
      {"\"Max_Dino_Count\" is not a setting and is ignored; the closest setting is "
       "\"Max_Dino_Counts\"",
       "rename it to \"Max_Dino_Counts\", or remove it"},
  };
  ASSERT_EQ(findings.size(), std::size(said));
  for (std::size_t i = 0; i < findings.size(); ++i) {
    EXPECT_EQ(findings[i].message, said[i].message);
    EXPECT_EQ(findings[i].fix, said[i].fix);
  }
}

std::string DataFile(const std::string& name) {
  return std::string(KESTROVAR_TEST_DATA) + "/check/" + name;
}

TEST(CheckFindings, LimitsAreMatchedAgainstTheListedClasses) {
  const std::vector<Finding> findings =
      CheckConfigFile(DataFile("limits_for_classes.json"), DataFile("classes.txt"));
  ASSERT_EQ(Places(findings), (std::vector<std::string>{"4:5 warning class-case-mismatch",
                                                        "5:5 warning unknown-class"}));
  EXPECT_EQ(findings[0].fix,
            "write it as \"Blueprint'/Game/Creatures/Grazer/Grazer_Character.Grazer_Character'\"");
  // The dump line's key, not the whole line.
  EXPECT_EQ(findings[1].fix,
            "write it as \"Blueprint'/Game/Creatures/Glider/Glider_Character.Glider_Character'\" "
            "if that is the class you mean");
  EXPECT_EQ(findings[0].file, DataFile("limits_for_classes.json"));
}

TEST(CheckFindings, FilesThatCannotBeOpened) {
  const std::string missing = DataFile("no-such-file.json");
  std::vector<Finding> findings = CheckConfigFile(missing);
  ASSERT_EQ(Places(findings), std::vector<std::string>{"0:0 error unreadable-file"});
  EXPECT_EQ(findings[0].file, missing);

  findings = CheckConfigFile(DataFile("limits_for_classes.json"), missing);
  EXPECT_EQ(Places(findings), std::vector<std::string>{"0:0 error unreadable-classes"});
  EXPECT_EQ(ExitStatusOf(findings), 2);
}

// A file as the server holds it: a byte-order mark, Windows line ends, text after the object.
TEST(CheckFindings, FilesAreReadAsThePluginReadsThem) {
  EXPECT_EQ(Places(CheckConfigFile(DataFile("bom_crlf.json"))),
            std::vector<std::string>{"2:19 warning number-fraction"});
  EXPECT_EQ(Places(CheckConfigFile(DataFile("text_after.json"))),
            (std::vector<std::string>{"1:45 warning level-rule-off", "2:1 warning ignored-text"}));
}

}  // namespace
