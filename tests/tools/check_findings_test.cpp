// `kestrovar check`: each finding, where it points, and the exit status it leads to.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/check/class_keys.h"
#include "tools/check/config_check.h"
#include "tools/check/print_findings.h"
#include "tools/common/dump_lines.h"
#include "tools/common/text_bytes.h"

namespace {

// "LINE:COLUMN severity code" for each finding but notes, in order.
std::vector<std::string> Places(const std::vector<Finding>& findings) {
  std::vector<std::string> places;
  for (const Finding& finding : findings) {
    if (finding.severity == Severity::kNote) continue;
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

// A file the plug-in cannot read: the fix fits the mistake, and says what a reload and a load do
// with such a file (the plug-in reads it apart from the configuration in force).
TEST(CheckFindings, AnUnreadableFilesFixFitsTheMistake) {
  const struct {
    const char* text;
    const char* fix;
  } cases[] = {
      {"// a note\n{}", "remove the comment"},
      {"{\n  // a note on its own line\n  \"MaxDinoLevel\": 1\n}", "remove the comment"},
      {"{\n  \"MaxDinoLevel\": 1, // after a value\n  \"WriteDumpsToFile\": true\n}",
       "remove the comment"},
      {"{\"Max_Dino_Counts\": {} /* a block */}", "remove the comment"},
      {"{\"MaxDinoLevel\": 1,}", "remove the comma before this place"},
      {"{\"MaxDinoLevel\": ", "complete the file"},
      {"{\"MaxDinoLevel\": 1 :}", "mend the JSON at this place"},
      {"{\"x\": \"/\" :}", "mend the JSON at this place"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::vector<Finding> findings = CheckConfigText(c.text, "config.json");
    ASSERT_FALSE(findings.empty());
    EXPECT_EQ(findings[0].code, "unreadable-json");
    EXPECT_EQ(findings[0].fix.find(c.fix), 0u) << findings[0].fix;
    EXPECT_NE(findings[0].fix.find("; until then kvar.reload fails and leaves the configuration in "
                                   "force unchanged, and the plug-in fails to load at the server's "
                                   "next start"),
              std::string::npos)
        << findings[0].fix;
  }
}

TEST(CheckFindings, EachMistakeIsFoundAtItsPlace) {
  const Case cases[] = {
      {"{}", {}, 0},
      {R"({"Max_Dino_Counts": {"Blueprint'/Game/A.A'": 40, "Blueprint'/Game/B.B'": 0,
           "Blueprint'/Game/C.C'": -1, "Blueprint'/Game/D.D'": 3.0},
          "DestroyDinosOverLevel": true, "MaxDinoLevel": 150, "WriteDumpsToFile": false})",
       {},
       0},
      // What the plug-in cannot read at all.
      {"{\n  // a note\n}", {"2:3 error unreadable-json"}, 1},
      {R"({"MaxDinoLevel": 1,})", {"1:20 error unreadable-json"}, 1},
      {"", {"1:1 error unreadable-json"}, 1},
      {"\n  [1, 2]", {"2:3 error top-level-not-object"}, 1},
      {R"("text")", {"1:1 error top-level-not-object"}, 1},
      {"1x", {"1:1 error top-level-not-object", "1:2 warning ignored-text"}, 1},
      {"\xEF\xBB\xBF"
       "5",
       {"1:1 error top-level-not-object"},
       1},
      // Values of the wrong type.
      {R"({"Max_Dino_Counts": [1]})", {"1:21 error limits-not-object"}, 1},
      {R"({"Max_Dino_Counts": null})", {"1:21 error limits-not-object"}, 1},
      {"{\"Max_Dino_Counts\": {\n  \"Blueprint'/A.A'\": \"10\",\n  \"Blueprint'/B.B'\": null,\n"
       "  \"Blueprint'/C.C'\": [3], \"Blueprint'/D.D'\": {}}}",
       {"2:22 error limit-wrong-type", "3:22 error limit-wrong-type", "4:22 error limit-wrong-type",
        "4:46 error limit-wrong-type"},
       1},
      {R"({"DestroyDinosOverLevel": 1, "WriteDumpsToFile": "yes"})",
       {"1:27 error setting-wrong-type", "1:50 error setting-wrong-type"},
       1},
      {R"({"DestroyDinosOverLevel": true, "MaxDinoLevel": "150"})",
       {"1:49 error setting-wrong-type"},
       1},
      // Not read while the level rule is off, but wrong all the same; no second finding for it.
      {R"({"MaxDinoLevel": "150"})", {"1:18 error setting-wrong-type"}, 1},
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
       {"3:3 warning keys-differ-in-case", "3:3 warning object-name-case"},
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
      // Columns count characters, as editors do: the byte-order mark is not one, and a letter
      // of two bytes is one.
      {"\xEF\xBB\xBF{\"\xC3\xA4\": 1, \"x\": 2}",
       {"1:2 warning unknown-setting", "1:10 warning unknown-setting"},
       1},
      {"\xEF\xBB\xBF{\"\xC3\xA4\" 1}", {"1:7 error unreadable-json"}, 1},
      {"{\"Max_Dino_Counts\": {\"Blueprint'/\xE2\x82\xAC.\xE2\x82\xAC'\": \"1\"}}",
       {"1:41 error limit-wrong-type"},
       1},
      // Bytes that are no UTF-8 count one column each, and the reader's failure is shown at the
      // first byte it could not read (a Latin-1 letter, a Windows-1252 quote), not after it.
      {"{\"Caf\xE9/\": 1}", {"1:6 error unreadable-json"}, 1},
      {"{\"MaxDinoLevel\": 1, \"\x93\x94\": 1}", {"1:22 error unreadable-json"}, 1},
      {"{\"x\": \"\xE0\x80\"}", {"1:8 error unreadable-json"}, 1},
      {"{\"x\": \"\xE2\x82", {"1:8 error unreadable-json"}, 1},
      {"{\"x\": \"\xF0\x9F\x98\": 1}", {"1:8 error unreadable-json"}, 1},
      // UTF-16, with or without its byte-order mark: the plug-in reads only UTF-8.
      {std::string("\xFF\xFE{\0}\0", 6), {"0:0 error utf16-text"}, 1},
      {std::string("\xFE\xFF\0{\0}", 6), {"0:0 error utf16-text"}, 1},
      {std::string("{\0\"\0M\0\"\0:\0 \0{\0}\0}\0", 18), {"0:0 error utf16-text"}, 1},
      // A program or an image is no configuration: refused as a whole, not read byte by byte. A
      // good object followed by zero bytes is read by the plug-in, and so by the check.
      {std::string("\x7F"
                   "ELF\0\0{",
                   7),
       {"0:0 error not-text"},
       2},
      {"\x01\x02\x03\x04\x05", {"0:0 error not-text"}, 2},
      {"\x01\x02{", {"1:1 error unreadable-json"}, 1},
      {std::string("{}\0\0", 4), {"1:3 warning ignored-text"}, 1},
      // A token that does not belong is shown where it begins.
      {"{\"MaxDinoLevel\": 1 :}", {"1:20 error unreadable-json"}, 1},
      // A missing comma is named where it belongs: after the earlier value.
      {"{\"MaxDinoLevel\": 1\n \"DestroyDinosOverLevel\": true}", {"1:19 error missing-comma"}, 1},
      {"{\"Max_Dino_Counts\": {\"Blueprint'/A.A'\": 1}\n\n \"x\": 1}",
       {"1:43 error missing-comma"},
       1},
      {"{\"Max_Dino_Counts\": [1 {}]}", {"1:23 error missing-comma"}, 1},
      {"{\"Max_Dino_Counts\": [true false]}", {"1:26 error missing-comma"}, 1},
      // The level rule in force removes every new spawn.
      {R"({"DestroyDinosOverLevel": true, "MaxDinoLevel": 1})",
       {"1:49 warning level-rule-removes-all"},
       1},
      {R"({"MaxDinoLevel": -5, "DestroyDinosOverLevel": true})",
       {"1:18 warning level-rule-removes-all"},
       1},
      {R"({"DestroyDinosOverLevel": true, "MaxDinoLevel": 3000000000})",
       {"1:49 warning number-out-of-range", "1:49 warning level-rule-removes-all"},
       1},
      {R"({"DestroyDinosOverLevel": true, "MaxDinoLevel": 2})", {}, 0},
      {R"({"DestroyDinosOverLevel": false, "MaxDinoLevel": 0})",
       {"1:34 warning level-rule-off"},
       1},
      // Key mistakes that show without a list of classes.
      {"{\"Max_Dino_Counts\": {\n"
       "  \"Blueprint'/Game/R/Raptor_Character.Raptor_Character_C'\": 1,\n"
       "  \"Blueprint'/Game/R/Raptor_Character.raptor_Character'\": 2,\n"
       "  \"Blueprint'/Game/R/Raptor.Raptor_Character'\": 3,\n"
       "  \"Blueprint'/Game/R/Raptor_Character.Raptor_Character'\": 4}}",
       {"2:3 warning key-ends-in-c", "3:3 warning object-name-case",
        "5:3 warning keys-differ-in-case"},
       1},
      // U+0000 in a name: the whole name counts, as in the plug-in.
      {"{\"Max_Dino_Counts\": {\"Blueprint'/A.A'\\u0000x\": 5, \"Blueprint'/A.A'\": \"s\"}}",
       {"1:22 warning not-a-class-key", "1:70 error limit-wrong-type"},
       1},
      {"{\"Max_Dino_Counts\": {\"Blueprint'/A.A'\": 5, \"Blueprint'/A.A'\\u0000\": 6,\n"
       " \"Blueprint'/B\\u0000.B'\": \"6\"}, \"MaxDinoLevel\\u0000\": \"x\"}",
       {"1:44 warning not-a-class-key", "2:2 warning not-a-class-key",
        "2:27 error limit-wrong-type", "2:33 warning unknown-setting"},
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
      "  \"Blueprint'/Game/F.F\": 1,\n"
      "  \"Blueprint'/Game/G/G_Character.G_Character_C'\": 1},\n"
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
      // The level rule cannot be read here, so it removes nothing.
      {"the limit of \"Blueprint'/D.D'\" is a string, not a number: each spawn of the class fails "
       "to read it ([json.exception.type_error.302] type must be number, but is string), so the "
       "class has no limit: its spawns are kept and counted",
       "write the number without quotes: 10"},
      {"\"/Game/E.E_C\" is not a class key (Blueprint'...'): it matches no class and its limit "
       "never applies",
       "write it as \"Blueprint'/Game/E.E'\""},
      {"\"Blueprint'/Game/F.F\" is not a class key (Blueprint'...'): it matches no class and its "
       "limit never applies",
       "write it as \"Blueprint'/Game/F.F'\""},
      {"\"Blueprint'/Game/G/G_Character.G_Character_C'\" ends in _C': a class key leaves out the "
       "last two characters of the class's reference text, so this key matches no class and its "
       "limit never applies",
       "write it as \"Blueprint'/Game/G/G_Character.G_Character'\""},
      {"\"DestroyDinosOverLevel\" is a number, not true or false: the level check of every spawn "
       "fails ([json.exception.type_error.302] type must be boolean, but is number)",
       "write true or false, without quotes"},
      {"\"Max_Dino_Count\" is not a setting and is ignored; the closest setting is "
       "\"Max_Dino_Counts\"",
       "rename it to \"Max_Dino_Counts\", or remove it"},
  };
  ASSERT_EQ(findings.size(), std::size(said) + 1);
  EXPECT_EQ(findings.back().code, "classes-not-checked");
  for (std::size_t i = 0; i < std::size(said); ++i) {
    EXPECT_EQ(findings[i].message, said[i].message);
    EXPECT_EQ(findings[i].fix, said[i].fix);
  }
}

// A limit that cannot be read leaves its class without one; the level rule, when it can be read,
// still removes that class's spawns at or above its level.
TEST(CheckFindings, UnreadableLimitsSayWhatThePluginDoes) {
  const std::string string_limit = R"("Max_Dino_Counts": {"Blueprint'/A.A'": "3"})";
  const std::string kept =
      "the limit of \"Blueprint'/A.A'\" is a string, not a number: each spawn of the class fails "
      "to read it ([json.exception.type_error.302] type must be number, but is string), so the "
      "class has no limit: its spawns are kept and counted";
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {"{" + string_limit + "}", kept},
      {"{" + string_limit + R"(, "DestroyDinosOverLevel": true, "MaxDinoLevel": 120})",
       kept + ", except those of level 120 or more, which the level rule removes"},
      {"{" + string_limit + R"(, "DestroyDinosOverLevel": false, "MaxDinoLevel": 120})", kept},
      {"{" + string_limit + R"(, "DestroyDinosOverLevel": true})", kept},
      {"{" + string_limit + R"(, "DestroyDinosOverLevel": true, "MaxDinoLevel": "120"})", kept},
      {R"({"Max_Dino_Counts": [3], "DestroyDinosOverLevel": true, "MaxDinoLevel": 2.5})",
       "\"Max_Dino_Counts\" is an array, not an object: no limit can be looked up in it "
       "([json.exception.type_error.306] cannot use value() with array), so no class has a limit: "
       "all spawns are kept and counted, except those of level 2 or more, which the level rule "
       "removes"},
  };
  for (const auto& one : cases) {
    const std::vector<Finding> findings = CheckConfigText(one.text, "config.json");
    ASSERT_FALSE(findings.empty()) << one.text;
    EXPECT_EQ(findings[0].message, one.message) << one.text;
  }
}

// A name that is not a class key gets a key as its fix only when one can be derived from it.
TEST(CheckFindings, NotAClassKeyFixesAreDerivedOnlyFromAPath) {
  const std::string no_fix =
      "write the class's key as kvar.dumpdinos lists it: Blueprint'/Game/...'";
  const struct {
    std::string name;
    std::string fix;
  } cases[] = {
      {"Strider", no_fix},
      {"", no_fix},
      {"Blueprint'", no_fix},
      {"blueprint'/Game/S/S.S'", "write it as \"Blueprint'/Game/S/S.S'\""},
      {"BLUEPRINT'/Game/S/S.S", "write it as \"Blueprint'/Game/S/S.S'\""},
      {"  Blueprint'/Game/S/S.S' ", "write it as \"Blueprint'/Game/S/S.S'\""},
      {" /Game/S/S.S_C", "write it as \"Blueprint'/Game/S/S.S'\""},
      {"/Game/S/S.S", "write it as \"Blueprint'/Game/S/S.S'\""},
      {"Blueprint'/Game/S S.S", no_fix},
  };
  for (const auto& one : cases) {
    const std::vector<Finding> findings = CheckConfigText(
        "{\"Max_Dino_Counts\": {" + nlohmann::json(one.name).dump() + ": 1}}", "config.json");
    ASSERT_EQ(Places(findings), std::vector<std::string>{"1:22 warning not-a-class-key"})
        << one.name;
    EXPECT_EQ(findings[0].fix, one.fix) << one.name;
  }
}

// Keys are said to be unchecked while no list of classes is given, and only when there are keys.
TEST(CheckFindings, UncheckedKeysAreNoted) {
  std::vector<Finding> findings =
      CheckConfigText("{\"Max_Dino_Counts\": {\"Blueprint'/A.A'\": 1}}", "config.json");
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].code, "classes-not-checked");
  EXPECT_EQ(findings[0].severity, Severity::kNote);
  EXPECT_EQ(findings[0].line, 1);
  EXPECT_EQ(findings[0].column, 2);
  EXPECT_EQ(ExitStatusOf(findings), 0);
  EXPECT_TRUE(CheckConfigText("{\"Max_Dino_Counts\": {}}", "config.json").empty());
  EXPECT_TRUE(CheckConfigText("{\"Max_Dino_Counts\": {\"Blueprint'/A.A'\": 1}}", "config.json",
                              std::vector<std::string>{"Blueprint'/A.A'"})
                  .empty());
}

std::string DataFile(const std::string& name) {
  return std::string(KESTROVAR_TEST_DATA) + "/check/" + name;
}

std::vector<Finding> CheckWithClasses(const std::string& config, const std::string& classes) {
  std::optional<ServerClasses> listed;
  std::vector<Finding> findings = ReadClassesForCheck(classes, listed);
  const std::vector<Finding> more =
      listed ? CheckConfigFile(config, listed->keys, listed->kind) : CheckConfigFile(config);
  findings.insert(findings.end(), more.begin(), more.end());
  return findings;
}

TEST(CheckFindings, LimitsAreMatchedAgainstTheListedClasses) {
  const std::vector<Finding> findings =
      CheckWithClasses(DataFile("limits_for_classes.json"), DataFile("classes.txt"));
  ASSERT_EQ(Places(findings), (std::vector<std::string>{"4:5 warning class-case-mismatch",
                                                        "5:5 warning unknown-class"}));
  EXPECT_EQ(findings[0].fix,
            "write it as \"Blueprint'/Game/Creatures/Grazer/Grazer_Character.Grazer_Character'\"");
  // The dump line's key, not the whole line.
  EXPECT_EQ(findings[1].fix,
            "write it as \"Blueprint'/Game/Creatures/Glider/Glider_Character.Glider_Character'\" "
            "if that is the class you mean; keep it if it names a class that has not spawned yet");
  EXPECT_EQ(findings[0].file, DataFile("limits_for_classes.json"));
}

// The server's log and dump files as they are: the log's prefixes and other entries, entries of
// several lines, dump lines, and lines that name no class, each reported with its number.
TEST(CheckFindings, ClassListsAreReadFromLogsAndDumps) {
  const ClassList list = ReadClassListText(
      "\xEF\xBB\xBF# classes\r\n"
      "Blueprint'/Game/B/B.B'. Num: 12\n"
      "  /Game/C/C.C_C  \n"
      "\n"
      "Blueprint'/Game/D/D\xFF.D'\n"
      "Strider\n"
      "Blueprint'/Game/E/E.E'. Num: \n"
      "Blueprint'/Game/F/F.F'. Nu\n"
      "/Game/G/G.G\n"
      // The log: its entries' further lines belong to them, whatever they hold; lines that name a
      // class on their own are still read.
      "12/08/26 07:54 [Kestrovar][warning] Blueprint'/Game/A/A.A'. Num: 3\r\n"
      "12/08/26 07:54 [Kestrovar][critical] Failed to reload config! \n"
      " [json.exception.parse_error.101] parse error at line 1, column 22: syntax error\n"
      "12/08/26 07:54 [Kestrovar][critical] Failed to load config! \n"
      " Can't open config.json\n"
      "12/08/26 07:55:09 [Host][info] Loaded plug-in Kestrovar\n"
      "[2026-12-08 07:55:10.123] [Host] [info] Loaded plug-in Kestrovar\n"
      "  the host's message, line two\n"
      "Blueprint'/Game/H/H.H'. Num: 1\n"
      "12/08/26 07:54 [Kestrovar][warning] Strid. Num: 3\n"
      "12/08/26 07:54 [Kestrovar][warning] Blueprint'/Game/I/I.I'. Num: 5");
  EXPECT_EQ(list.keys,
            (std::vector<std::string>{"Blueprint'/Game/B/B.B'", "Blueprint'/Game/C/C.C'",
                                      "Blueprint'/Game/D/D\xFF.D'", "Blueprint'/Game/E/E.E'",
                                      "Blueprint'/Game/A/A.A'", "Blueprint'/Game/H/H.H'",
                                      "Blueprint'/Game/I/I.I'"}));
  std::vector<std::string> unread;
  for (const UnreadLine& line : list.unread) {
    unread.push_back(std::to_string(line.line) + (line.cut_short ? " cut " : " ") + line.text);
  }
  EXPECT_EQ(unread, (std::vector<std::string>{"6 Strider", "8 cut Blueprint'/Game/F/F.F'. Nu",
                                              "9 /Game/G/G.G", "19 Strid. Num: 3"}));
  EXPECT_TRUE(list.from_dump);
  EXPECT_EQ(list.unusable, ClassList::Unusable::kNo);
  // A log whose first entry is in the logging library's own format, of two lines.
  EXPECT_TRUE(ReadClassListText("[2026-12-08 07:55:10.123] [Host] [info] Loaded\n"
                                "  its second line\n/Game/A/A.A_C")
                  .unread.empty());
  // Keys and reference texts alone: a list of every class.
  EXPECT_FALSE(ReadClassListText("Blueprint'/Game/A/A.A'\n/Game/B/B.B_C").from_dump);
}

// The dump lines of a reply or a dump file, as every command reads them: Windows line ends, a
// last line without its end (whose count may be cut), "?" for bytes of letters outside ASCII.
TEST(DumpLines, EachLineIsAnEntryCutShortOrOther) {
  const std::vector<NumberedDumpLine> lines = ReadDumpLines(
      "Blueprint'/Game/A/A.A'. Num: 3\r\n"
      "Blueprint'/Game/Caf?\?/B.B'. Num: 4294967295\n"
      "Blueprint'/Game/C/C.C'. Num: 4294967296\n"
      "Blueprint'/Game/D/D.D'. Num: -1\n"
      "Blueprint'/Game/E/E.E'. Num: \n"
      "Blueprint'/Game/F/F.F'. Nu\n"
      "\n"
      "a. Num: 1. Num: 2\n"
      "Blueprint'/Game/G/G.G'. Num: 1");
  std::vector<std::string> read;
  for (const NumberedDumpLine& line : lines) {
    const char* form = line.read.form == DumpLineForm::kEntry      ? "entry"
                       : line.read.form == DumpLineForm::kCutShort ? "cut"
                                                                   : "other";
    read.push_back(std::to_string(line.number) + " " + form + " [" + std::string(line.read.key) +
                   "] " + std::to_string(line.read.count));
  }
  EXPECT_EQ(read, (std::vector<std::string>{
                      "1 entry [Blueprint'/Game/A/A.A'] 3",
                      "2 entry [Blueprint'/Game/Caf?\?/B.B'] 4294967295",
                      "3 other [] 0",
                      "4 other [] 0",
                      "5 cut [Blueprint'/Game/E/E.E'] 0",
                      "6 cut [] 0",
                      "7 other [] 0",
                      "8 entry [a. Num: 1] 2",
                      "9 cut [Blueprint'/Game/G/G.G'] 0",
                  }));
  EXPECT_EQ(lines[0].text, "Blueprint'/Game/A/A.A'. Num: 3");
  EXPECT_EQ(ReadDumpLines("x\n").size(), 1u);
}

// A limit on a class missing from a full list of classes never applies; missing from a dump, it
// may be a class that has not spawned yet, so it is never advised away.
TEST(CheckFindings, MissingClassesAreJudgedByWhatTheListHolds) {
  const std::vector<std::string> classes = {
      "Blueprint'/Game/Glider/Glider_Character.Glider_Character'",
      "Blueprint'/Game/Caf?\?/Caf?\?.Caf?\?'"};
  const std::string config =
      "{\"Max_Dino_Counts\": {\n"
      "  \"Blueprint'/Game/Glider/Glider_Charactr.Glider_Character'\": 1,\n"
      "  \"Blueprint'/Game/Rare/Rare.Rare'\": 2,\n"
      "  \"Blueprint'/Game/Caf\xC3\xA9/Caf\xC3\xA9.Caf\xC3\xA9'\": 3}}";
  const struct {
    ClassListKind kind;
    std::vector<std::string> places;
    int exit_status;
  } cases[] = {
      {ClassListKind::kAllClasses,
       {"2:3 warning unknown-class", "3:3 warning unknown-class", "4:3 warning unknown-class"},
       1},
      // In a dump, a non-ASCII letter shows as a "?" per byte.
      {ClassListKind::kMetSoFar, {"2:3 warning unknown-class", "3:3 note class-not-in-dump"}, 1},
  };
  for (const auto& one : cases) {
    const std::vector<Finding> findings = CheckConfigText(config, "config.json", classes, one.kind);
    std::vector<std::string> places;
    for (const Finding& finding : findings) {
      places.push_back(std::to_string(finding.line) + ":" + std::to_string(finding.column) + " " +
                       SeverityName(finding.severity) + " " + finding.code);
      // Only a full list can tell that a limit is of no use.
      if (one.kind == ClassListKind::kMetSoFar) {
        EXPECT_EQ(finding.fix.find("remove"), std::string::npos) << finding.fix;
      }
    }
    EXPECT_EQ(places, one.places);
    EXPECT_EQ(ExitStatusOf(findings), one.exit_status);
  }
  const std::vector<Finding> full =
      CheckConfigText(config, "config.json", classes, ClassListKind::kAllClasses);
  EXPECT_EQ(full[1].fix, "remove it, or list the server's classes");
}

// A key that shows its own mistake never applies, whatever a list of classes holds: it is warned of
// with a list too, and the fix names the listed class it means when there is one.
TEST(CheckFindings, KeysThatShowTheirMistakeAreFoundWithAListToo) {
  const std::string wolf = "Blueprint'/Game/Beasts/Wolf/Wolf_Char.Wolf_Char'";
  const std::string wolf_c = "Blueprint'/Game/Beasts/Wolf/Wolf_Char.Wolf_Char_C'";
  const struct {
    std::string key;
    std::vector<std::string> classes;
    std::string place;  // of the only finding
    std::string fix;
  } cases[] = {
      {wolf_c, {wolf}, "1:22 warning key-ends-in-c", "write it as \"" + wolf + "\""},
      {wolf_c,
       {"Blueprint'/Game/Beasts/wolf/Wolf_Char.Wolf_Char'"},
       "1:22 warning key-ends-in-c",
       "write it as \"Blueprint'/Game/Beasts/wolf/Wolf_Char.Wolf_Char'\""},
      // Misspelt as well: the closest listed class.
      {"Blueprint'/Game/Beasts/Wolf/Wolf_Chr.Wolf_Chr_C'",
       {"Blueprint'/Game/Other/Bear.Bear'", wolf},
       "1:22 warning key-ends-in-c",
       "write it as \"" + wolf + "\""},
      // No listed class near it: the key it most likely is.
      {wolf_c,
       {"Blueprint'/Game/Other/Bear.Bear'"},
       "1:22 warning key-ends-in-c",
       "write it as \"" + wolf + "\""},
      {"Blueprint'/Game/Beasts/Wolf/Wolf_Char.wolf_Char'",
       {"Blueprint'/Game/Other/Bear.Bear'"},
       "1:22 warning object-name-case",
       "write it as \"" + wolf + "\""},
      // A listed class whose own name ends so is a class like any other.
      {wolf_c, {wolf_c}, "", ""},
  };
  for (const ClassListKind kind : {ClassListKind::kAllClasses, ClassListKind::kMetSoFar}) {
    for (const auto& one : cases) {
      const std::vector<Finding> findings = CheckConfigText(
          "{\"Max_Dino_Counts\": {\"" + one.key + "\": 4}}", "config.json", one.classes, kind);
      if (one.place.empty()) {
        EXPECT_TRUE(findings.empty()) << one.key;
        continue;
      }
      ASSERT_EQ(Places(findings), std::vector<std::string>{one.place}) << one.key;
      EXPECT_EQ(findings.size(), 1u) << one.key;
      EXPECT_EQ(findings[0].fix, one.fix) << one.key;
      EXPECT_EQ(ExitStatusOf(findings), 1);
      // Said when even the key it should be is not listed.
      const bool listed = std::find(one.classes.begin(), one.classes.end(),
                                    one.fix.substr(13, one.fix.size() - 14)) != one.classes.end();
      if (findings[0].code == "key-ends-in-c") {
        EXPECT_EQ(findings[0].message.find("either") == std::string::npos, listed) << one.key;
      }
    }
  }
}

TEST(CheckFindings, ClassListsThatCannotBeUsed) {
  std::optional<ServerClasses> keys;
  // A folder, a missing file, and a file that names no class.
  for (const std::string& path :
       {std::string(KESTROVAR_TEST_DATA) + "/check", DataFile("no-such-file.txt")}) {
    EXPECT_EQ(Places(ReadClassesForCheck(path, keys)),
              std::vector<std::string>{"0:0 error unreadable-classes"})
        << path;
    EXPECT_FALSE(keys.has_value());
  }
  const std::vector<Finding> findings = ReadClassesForCheck(DataFile("no_classes.txt"), keys);
  EXPECT_EQ(Places(findings),
            (std::vector<std::string>{"2:1 warning unread-class-line", "0:0 error no-classes"}));
  EXPECT_EQ(findings[0].message,
            "this line is neither a class key, a reference text, a dump line nor an entry of the "
            "server's log, and names no class: \"Strider \xEF\xBF\xBD\"");
  EXPECT_EQ(ExitStatusOf(findings), 2);
  EXPECT_FALSE(keys.has_value());

  // Bytes that are no text: a handful of such lines make the file no list at all, said once;
  // fewer are reported line by line. UTF-16 is told apart from them.
  const std::string not_text =
      "\x7F"
      "ELF\x02\x01\n\xFF\xFE\xFD\n\x01\x02\n\x1B[31m\n";
  const std::string key = "Blueprint'/Game/A/A.A'\n";
  const struct {
    std::string text;
    ClassList::Unusable unusable;
    std::size_t unread;
  } lists[] = {
      {key + not_text, ClassList::Unusable::kNo, 4},
      {key + not_text + "\xC3\n" + key, ClassList::Unusable::kNotText, 0},
      {std::string("\xFF\xFE"
                   "B\0l\0",
                   6),
       ClassList::Unusable::kUtf16, 0},
      {std::string("B\0l\0u\0e\0p\0r\0", 12), ClassList::Unusable::kUtf16, 0},
  };
  for (const auto& one : lists) {
    const ClassList list = ReadClassListText(one.text);
    EXPECT_EQ(list.unusable, one.unusable) << one.text;
    EXPECT_EQ(list.unread.size(), one.unread) << one.text;
  }
}

// A long line that names no class is quoted in part, so that the report stays readable.
TEST(CheckFindings, LongUnreadLinesAreQuotedInPart) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / "kestrovar_check_long_line.txt";
  std::ofstream(path, std::ios::binary) << "Blueprint'/Game/A/A.A'\n" << std::string(100000, 'x');
  std::optional<ServerClasses> classes;
  const std::vector<Finding> findings = ReadClassesForCheck(path.string(), classes);
  std::filesystem::remove(path);
  ASSERT_EQ(Places(findings), std::vector<std::string>{"2:1 warning unread-class-line"});
  EXPECT_NE(findings[0].message.find("\"" + std::string(100, 'x') + "...\""), std::string::npos);
  EXPECT_LT(findings[0].message.size(), 300u);
}

// Text output shows any byte of a file safely: valid UTF-8 as it is, other bytes and control
// characters escaped, so that a terminal neither garbles nor obeys them.
TEST(CheckFindings, TextOutputIsAlwaysValidUtf8) {
  const std::vector<Finding> findings = CheckConfigText("{\"x\xE9\": 1}", "caf\xE9\x1B[2J.json");
  std::ostringstream out;
  PrintFindings(findings, FindingsFormat::kText, out);
  EXPECT_NE(out.str().find("caf\\xE9\\x1B[2J.json:1:4: error: "), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("last read: '\"x\\xE9\"'"), std::string::npos) << out.str();
  // A letter in another encoding than UTF-8.
  EXPECT_EQ(findings[0].fix.substr(0, 25), "save the file as UTF-8: t");
  EXPECT_EQ(PrintableText("\xC3\xA9\xC2\x85\x7F\t\xF0\x9F\x98"),
            "\xC3\xA9\\u0085\\x7F\\x09\\xF0\\x9F\\x98");
}

// Suggestions stay within the same creature and within a tenth of the key's length.
TEST(CheckFindings, SuggestionsNameOnlyTheSameClassMisspelt) {
  const std::vector<std::string> classes = {
      "Blueprint'/Game/Creatures/Grazer/Grazer_Character.Grazer_Character'",
      "Blueprint'/Game/Creatures/Raptor/Raptor_Character.Raptor_Character'",
      "Blueprint'/Game/Creatures/Boar/Boar_Char.Boar_Char'",
      "Blueprint'/Game/Creatures/Ostrich/Ostrich_Char.Ostrich_Char'"};
  const struct {
    std::string key;
    std::string closest;
  } cases[] = {
      {"Blueprint'/Game/Creatures/Raptor/Raptor_Character.Raptor_Character_C'", classes[1]},
      {"Blueprint'/Game/Creatures/Raptr/Raptor_Character.Raptor_Character'", classes[1]},
      {"Blueprint'/Game/Creatures/Raptor/Raptr_Character.Raptr_Character'", classes[1]},
      {"Blueprint'/Game/Creatures/Rapt/Rapt_Character.Rapt_Character'", ""},
      {"Blueprint'/Game/Creatures/Grazer/Grazer_Character.Raptor_Character'", ""},
      {"Blueprint'/Game/Creatures/Strider/Strider_Character.Strider_Character'", ""},
      {"Blueprint'/Game/Mods/Raptor/Raptor_Character.Raptor_Character'", ""},
      // One letter for another in a short name, in the asset's name too: another creature.
      {"Blueprint'/Game/Creatures/Bear/Bear_Char.Bear_Char'", ""},
      {"Blueprint'/Game/Creatures/Boar/Boar_Char.Bear_Char'", classes[2]},
      {"Blueprint'/Game/Creatures/Boar/Boar_Chor.Boar_Char'", classes[2]},
      {"Blueprint'/Game/Creatures/Boar/Bor_Char.Bor_Char'", classes[2]},
      {"Blueprint'/Game/Creatures/Ostrich/Ostrech_Char.Ostrech_Char'", classes[3]},
  };
  for (const auto& one : cases)
    EXPECT_EQ(ClosestClassKey(one.key, classes), one.closest) << one.key;
}

// The index finds what a walk over every class finds: the first of the nearest, within the bounds,
// whose name begins with the same letter.
TEST(CheckFindings, TheIndexFindsWhatAWalkOverEveryClassFinds) {
  const auto distance = [](std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
      std::size_t diagonal = row[0];
      row[0] = i;
      for (std::size_t j = 1; j <= b.size(); ++j) {
        const std::size_t above = row[j];
        const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                          std::tolower(static_cast<unsigned char>(b[j - 1]));
        row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
        diagonal = above;
      }
    }
    return row[b.size()];
  };
  const auto walk = [&](const std::string& key, const std::vector<std::string>& keys) {
    std::string closest;
    std::size_t best = key.size() / 10 + 1;
    const std::string_view object = ObjectNameOf(key);
    for (const std::string& candidate : keys) {
      // No fewer edits than the lengths differ by.
      if (std::max(key.size(), candidate.size()) - std::min(key.size(), candidate.size()) >= best) {
        continue;
      }
      const std::string_view other = ObjectNameOf(candidate);
      // A misspelling keeps the name's first letter.
      if (!object.empty() &&
          (other.empty() || std::tolower(static_cast<unsigned char>(object[0])) !=
                                std::tolower(static_cast<unsigned char>(other[0])))) {
        continue;
      }
      const std::size_t d = distance(key, candidate);
      if (d < best && distance(object, other) <= object.size() / 8 &&
          !AreTwoCreatures(key, candidate)) {
        closest = candidate;
        best = d;
      }
    }
    return closest;
  };
  // Few letters, so that many names are near one another; names short and long.
  std::mt19937 random(24);
  const auto letters = [&](std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += "abAB_"[random() % 5];
    return text;
  };
  std::vector<std::string> keys;
  for (int i = 0; i < 200; ++i) {
    const std::string name = letters(2 + random() % 26);
    keys.push_back("Blueprint'/Game/" + letters(random() % 4) + "/" + name + "." + name + "'");
  }
  int found = 0;
  for (int i = 0; i < 400; ++i) {
    std::string key = keys[random() % keys.size()];
    for (int edits = random() % 4; edits > 0; --edits) {
      const std::size_t at = 10 + random() % (key.size() - 11);
      switch (random() % 3) {
        case 0:
          key.erase(at, 1);
          break;
        case 1:
          key.insert(at, 1, "abAB_"[random() % 5]);
          break;
        default:
          key[at] = "abAB_"[random() % 5];
      }
    }
    const std::string expected = walk(key, keys);
    found += expected.empty() ? 0 : 1;
    EXPECT_EQ(ClosestClassKey(key, keys), expected) << key;
  }
  EXPECT_GT(found, 200);
}

TEST(CheckFindings, FilesThatCannotBeOpened) {
  for (const std::string& path :
       {DataFile("no-such-file.json"), std::string(KESTROVAR_TEST_DATA) + "/check"}) {
    std::vector<Finding> findings = CheckConfigFile(path);
    ASSERT_EQ(Places(findings), std::vector<std::string>{"0:0 error unreadable-file"});
    EXPECT_EQ(findings[0].file, path);
    EXPECT_EQ(ExitStatusOf(findings), 2);
  }
}

// A file as the server holds it: a byte-order mark, Windows line ends, text after the object.
TEST(CheckFindings, FilesAreReadAsThePluginReadsThem) {
  EXPECT_EQ(Places(CheckConfigFile(DataFile("bom_crlf.json"))),
            std::vector<std::string>{"2:19 warning number-fraction"});
  EXPECT_EQ(Places(CheckConfigFile(DataFile("text_after.json"))),
            (std::vector<std::string>{"1:45 warning level-rule-off", "2:1 warning ignored-text"}));
}

}  // namespace
