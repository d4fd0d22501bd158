// `kestrovar report`: the censuses read from dump files and logs, hand-made edge cases included,
// and the whole report (limits matched, exit status, the files it may write).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tools/report/census_reader.h"
#include "tools/report/report_command.h"

namespace fs = std::filesystem;

namespace {

// "KEY=N,KEY=N|KEY=N": each census's counts, censuses apart by "|"; "()" for an empty census.
std::string Censuses(const CensusHistory& history) {
  std::string text;
  for (const Census& census : history.censuses) {
    if (!text.empty()) text += "|";
    std::string counts;
    for (const ClassCount& count : census.counts) {
      counts += (counts.empty() ? "" : ",") + history.shown[count.key] + "=" +
                std::to_string(count.count);
    }
    text += counts.empty() ? "()" : counts;
  }
  return text;
}

std::string Codes(const CensusHistory& history) {
  std::string codes;
  for (const Finding& finding : history.findings) {
    codes += (codes.empty() ? "" : " ") + finding.code;
    if (finding.line > 0) codes += ":" + std::to_string(finding.line);
  }
  return codes;
}

struct Case {
  const char* name;
  std::string text;
  const char* censuses;
  const char* codes;
};

TEST(ReportReader, DumpFiles) {
  const Case cases[] = {
      {"one census", "A. Num: 1\nB. Num: 2\n", "A=1,B=2", ""},
      {"two dumps in one file", "A. Num: 1\nB. Num: 2\nA. Num: 3\nB. Num: 0\n", "A=1,B=2|A=3,B=0",
       ""},
      {"? keys", "Blueprint'/Game/Gr??n.Gr??n'. Num: 4\n", "Blueprint'/Game/Gr??n.Gr??n'=4", ""},
      {"CRLF", "A. Num: 1\r\nB. Num: 2\r\n", "A=1,B=2", ""},
      {"byte-order mark",
       "\xEF\xBB\xBF"
       "A. Num: 1\n",
       "A=1", ""},
      {"an empty file: no census", "", "", "not-a-dump"},
      // A census cut short lacks the classes after the break: they would count as none.
      {"truncated count", "A. Num: 1\nB. Num: 2", "", "cut-short:2"},
      {"truncated within the mark", "A. Num: 1\nBlueprint'/G/B.B'. Nu", "", "cut-short:2"},
      {"truncated within the key", "A. Num: 1\nBlueprint'/Ga", "", "cut-short:2"},
      {"the second dump truncated", "A. Num: 1\nB. Num: 2\nA. Num: 3\nB. Num: ", "A=1,B=2",
       "cut-short:4"},
      {"truncated as the next dump starts", "A. Num: 1\nB. Num: 2\nA. Num: ", "A=1,B=2",
       "cut-short:3"},
      {"text without a line end", "{\"Max_Dino_Counts\": {}}", "", "not-a-dump"},
      {"truncated before the count", "A. Num: 1\nB. Num: \nC. Num: 3\n", "", "cut-short:2"},
      {"a stray line", "A. Num: 1\nhello\nB. Num: 2\n", "A=1,B=2", "not-a-dump-line:2"},
      {"a count past 32 bits", "A. Num: 4294967296\nB. Num: 1\n", "B=1", "not-a-dump-line:1"},
      {"no dump line at all", "{\"Max_Dino_Counts\": {}}\n", "", "not-a-dump"},
      {"blank lines only", "\n\r\n", "", "not-a-dump"},
      {"four stray lines", "a\nb\nA. Num: 1\nc\nd\n", "A=1",
       "not-a-dump-line:1 not-a-dump-line:2 not-a-dump-line:4 not-a-dump-line:5"},
      {"a handful of stray lines: not a dump", "a\nb\nA. Num: 1\nc\nd\ne\n", "", "not-a-dump"},
      {"UTF-16", std::string("A\0.\0 \0N\0u\0m\0", 12), "", "utf16-text"},
      {"UTF-16 with its mark",
       std::string("\xFF\xFE"
                   "A\0.\0 \0N\0u\0m\0",
                   14),
       "", "utf16-text"},
      // Classes that the dump writes alike (bytes outside ASCII as "?") are one census, summed;
      // the dump's first key met again still starts the next dump.
      {"look-alike classes", "A. Num: 1\nGr??n. Num: 2\nB. Num: 0\nGr??n. Num: 3\n",
       "A=1,Gr??n=5,B=0", ""},
      {"look-alikes in two dumps",
       "A. Num: 1\nGr??n. Num: 2\nGr??n. Num: 3\nA. Num: 4\nGr??n. Num: 5\n",
       "A=1,Gr??n=5|A=4,Gr??n=5", ""},
      {"an ASCII key met again: the next dump", "A. Num: 1\nB. Num: 2\nB. Num: 3\n", "A=1,B=2|B=3",
       ""},
  };
  for (const Case& c : cases) {
    CensusHistory history;
    ReadDumpText(c.text, "f", 1000, history);
    EXPECT_EQ(Censuses(history), c.censuses) << c.name;
    EXPECT_EQ(Codes(history), c.codes) << c.name;
    for (const Census& census : history.censuses) EXPECT_EQ(census.time, 1000) << c.name;
  }
  // The next dump lists a new class first: each line still counts for its own class.
  CensusHistory two;
  ReadDumpText("A. Num: 1\nB. Num: 2\n", "f", 0, two);
  ReadDumpText("C. Num: 3\nA. Num: 4\nB. Num: 5\n", "g", 600, two);
  EXPECT_EQ(Censuses(two), "A=1,B=2|C=3,A=4,B=5");
  // An empty world's dump is an empty file: with a dump's name, a census of no classes; a file of
  // another name, or with lines that are no dump lines, is still no census.
  const struct {
    const char* text;
    bool named;
    const char* censuses;
    const char* codes;
  } empty[] = {
      {"", true, "()", ""},
      {"\n", true, "()", ""},
      {"", false, "", "not-a-dump"},
      {"hello\n", true, "", "not-a-dump"},
      {"a\nb\nc\nd\ne\n", true, "", "not-a-dump"},
  };
  for (const auto& c : empty) {
    CensusHistory history;
    ReadDumpText(c.text, "f", 1000, history, c.named);
    EXPECT_EQ(Censuses(history), c.censuses) << c.text;
    EXPECT_EQ(Codes(history), c.codes) << c.text;
  }
  // A dump file is one census: look-alikes are summed wherever they stand, the first line too
  // (an RCON reply stored by `watch` sorts them first); text of another name may hold several.
  const struct {
    const char* text;
    bool named;
    const char* censuses;
    const char* codes;
  } one[] = {
      {"B??r. Num: 1\nB??r. Num: 2\nA. Num: 3\n", true, "B??r=3,A=3", ""},
      {"B??r. Num: 1\nB??r. Num: 2\nA. Num: 3\n", false, "B??r=1|B??r=2,A=3", ""},
      {"A. Num: 1\nB??r. Num: 2\nA. Num: 3\nB??r. Num: 4\n", true, "A=4,B??r=6", "class-again:3"},
      {"A. Num: 1\nB. Num: 2\nA. Num: ", true, "", "cut-short:3"},
  };
  for (const auto& c : one) {
    CensusHistory history;
    ReadDumpText(c.text, "f", 1000, history, c.named);
    EXPECT_EQ(Censuses(history), c.censuses) << c.text << c.named;
    EXPECT_EQ(Codes(history), c.codes) << c.text << c.named;
    EXPECT_EQ(history.shared_files.empty(), c.named) << c.text << c.named;
  }
  CensusHistory alike;
  ReadDumpText("A. Num: 1\nGr??n. Num: 2\nGr??n. Num: 3\n", "f", 0, alike);
  ASSERT_EQ(alike.alike.size(), 1U);
  EXPECT_EQ(alike.keys[alike.alike.begin()->first], "Gr??n");
  EXPECT_TRUE(alike.shared_files.empty());
  CensusHistory shared;
  ReadDumpText("A. Num: 1\nA. Num: 2\nA. Num: 3\n", "f", 0, shared);
  ASSERT_EQ(shared.shared_files.size(), 1U);
  EXPECT_EQ(shared.shared_files[0].second, 3);
}

TEST(ReportReader, ServerLogs) {
  const std::string w = "[Kestrovar][warning] ";
  const Case cases[] = {
      {"one run", "12/08/26 13:43:05 " + w + "A. Num: 1\n12/08/26 13:43:05 " + w + "B. Num: 2\n",
       "A=1,B=2", ""},
      {"runs apart by another entry",
       "12/08/26 13:43 " + w + "A. Num: 1\n12/08/26 13:43 [Kestrovar][info] Reloaded config\n" +
           "12/08/26 13:43 " + w + "A. Num: 2\n",
       "A=1|A=2", ""},
      {"runs back to back",
       "12/08/26 13:43 " + w + "A. Num: 1\n12/08/26 13:43 " + w + "B. Num: 1\n12/08/26 13:43 " + w +
           "A. Num: 2\n",
       "A=1,B=1|A=2", ""},
      {"runs a pause apart",
       "12/08/26 13:43 " + w + "A. Num: 1\n12/08/26 13:45 " + w + "B. Num: 1\n", "A=1|B=1", ""},
      {"continuation lines and other loggers",
       "12/08/26 13:43 " + w +
           "A. Num: 1\n  more of the message\n12/08/26 13:43 [Other][warning] " +
           "B. Num: 9\n12/08/26 13:43 [Kestrovar][info] C. Num: 9\n",
       "A=1", ""},
      {"the log's letters", "12/08/26 13:43 " + w + "Gr\xC3\xBCn. Num: 2\n", "Gr\xC3\xBCn=2", ""},
      {"the logging library's own form",
       "[2026-12-08 13:43:05.120] [Kestrovar] [warning] A. Num: 1\r\n", "A=1", ""},
      {"a cut dump entry",
       "12/08/26 13:43 " + w + "A. Num: 1\n12/08/26 13:43 " + w + "B. Num: ", "", "cut-short:2"},
      {"a time that is no date", "13/45/26 13:43 " + w + "A. Num: 1\n", "",
       "log-time:1 no-census-in-log"},
      {"no census", "12/08/26 13:43 [Kestrovar][info] Loaded\n", "", "no-census-in-log"},
      // The log keeps the letters the dump writes as "?": two classes, each its own, one census.
      {"look-alike classes",
       "12/08/26 13:43 " + w + "Gr\xC3\xBCn. Num: 2\n12/08/26 13:43 " + w +
           "Gr\xC3\xA4n. Num: 3\n12/08/26 13:43 " + w + "A. Num: 1\n",
       "Gr\xC3\xBCn=2,Gr\xC3\xA4n=3,A=1", ""},
      {"the same whole key again: the next run",
       "12/08/26 13:43 " + w + "Gr\xC3\xBCn. Num: 2\n12/08/26 13:43 " + w + "Gr\xC3\xBCn. Num: 3\n",
       "Gr\xC3\xBCn=2|Gr\xC3\xBCn=3", ""},
  };
  for (const Case& c : cases) {
    CensusHistory history;
    ASSERT_TRUE(LooksLikeLog(c.text)) << c.name;
    ReadLogText(c.text, "log", history);
    EXPECT_EQ(Censuses(history), c.censuses) << c.name;
    EXPECT_EQ(Codes(history), c.codes) << c.name;
  }
  // No look-alikes in a log: its keys are whole, each a class.
  CensusHistory alike;
  ReadLogText(
      "12/08/26 13:43 " + w + "Gr\xC3\xBCn. Num: 2\n12/08/26 13:43 " + w + "Gr\xC3\xA4n. Num: 3\n",
      "log", alike);
  EXPECT_TRUE(alike.alike.empty());
  EXPECT_EQ(alike.keys, (std::vector<std::string>{"Gr\xC3\xBCn", "Gr\xC3\xA4n"}));
  EXPECT_EQ(alike.shown, alike.keys);
  EXPECT_EQ(*LogEntryTime("12/08/26 13:43:05"),
            *DumpFileTime("DinoDumpLog_08-12-2026_13-43-05.txt"));
}

TEST(ReportReader, TimesInNames) {
  EXPECT_EQ(LocalTimeText(*DumpFileTime("DinoDumpLog_07-12-2026_21-30-05.txt")),
            "2026-12-07 21:30:05");
  EXPECT_EQ(LocalTimeText(*DumpFileTime("DinoDumpLog_29-02-2028_00-00-00.txt")),
            "2028-02-29 00:00:00");
  EXPECT_EQ(LocalTimeText(*DumpFileTime("DinoDumpLog_01-01-1969_23-59-59.txt"), 'T'),
            "1969-01-01T23:59:59");
  for (const char* bad :
       {"DinoDumpLog_29-02-2027_00-00-00.txt", "DinoDumpLog_31-04-2026_00-00-00.txt",
        "DinoDumpLog_07-12-2026_24-00-00.txt", "DinoDumpLog_7-12-2026_21-30-05.txt",
        "DinoDumpLog_07-12-2026_21-30-05.log", "dump_07-12-2026_21-30-05.txt"}) {
    EXPECT_FALSE(DumpFileTime(bad).has_value()) << bad;
  }
}

class ReportRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kestrovar_report_test_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "dumps");
  }
  void TearDown() override { fs::remove_all(dir_); }
  void Write(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  int Run(ReportOptions options, std::string* out = nullptr) {
    std::ostringstream text;
    const int status = RunReport(options, text);
    if (out != nullptr) *out = text.str();
    return status;
  }
  fs::path dir_;
};

TEST_F(ReportRun, LimitsMatchedAsTheDumpWritesKeys) {
  Write(dir_ / "dumps/DinoDumpLog_01-12-2026_10-00-00.txt",
        "Blueprint'/G/Gr??n.Gr??n'. Num: 5\nBlueprint'/G/A.A'. Num: 3\nBlueprint'/G/Big.Big'. Num: "
        "90\n");
  Write(dir_ / "dumps/DinoDumpLog_01-12-2026_11-00-00.txt",
        "Blueprint'/G/Gr??n.Gr??n'. Num: 5\nBlueprint'/G/A.A'. Num: 1\nBlueprint'/G/Big.Big'. Num: "
        "95\n");
  Write(dir_ / "config.json",
        "{\"Max_Dino_Counts\": {\"Blueprint'/G/Gr\xC3\xBCn.Gr\xC3\xBCn'\": 5, "
        "\"Blueprint'/G/A.A'\": 4, \"Blueprint'/G/Never.Never'\": 2, \"Blueprint'/G/big.big'\": 1, "
        "\"Blueprint'/G/Off.Off'\": -1}}");
  ReportOptions options;
  options.inputs = {(dir_ / "dumps").string()};
  options.config = (dir_ / "config.json").string();
  options.format = "json";
  std::string out;
  // The limit of "big" (letter case) never applies: a finding.
  EXPECT_EQ(Run(options, &out), 1);
  const nlohmann::json doc = nlohmann::json::parse(out);
  EXPECT_EQ(doc["censuses"], 2);
  ASSERT_EQ(doc["classes"].size(), 3U);
  EXPECT_EQ(doc["classes"][0]["name"], "A");
  EXPECT_EQ(doc["classes"][0]["limit"], 4);
  EXPECT_EQ(doc["classes"][0]["highest"], 3);
  EXPECT_EQ(doc["classes"][1]["dump_key"], "Blueprint'/G/Gr??n.Gr??n'");
  EXPECT_EQ(doc["classes"][1]["limit"], 5);
  EXPECT_EQ(doc["classes"][1]["at_limit"], 1.0);
  EXPECT_EQ(doc["classes"][2]["limit"], nullptr);
  EXPECT_EQ(doc["classes"][2]["last"], 95);
  ASSERT_EQ(doc["not_met_yet"].size(), 1U);
  EXPECT_EQ(doc["not_met_yet"][0]["key"], "Blueprint'/G/Never.Never'");
  ASSERT_EQ(doc["findings"].size(), 1U);
  EXPECT_EQ(doc["findings"][0]["code"], "limit-letter-case");
  const std::string notes = doc["notes"].dump();
  EXPECT_NE(notes.find("is matched to the dump's"), std::string::npos) << notes;
  EXPECT_NE(notes.find("Gr??n: at its limit (5) in every census"), std::string::npos) << notes;
  EXPECT_NE(notes.find("A: never reached its limit (4); at most 3"), std::string::npos) << notes;
  EXPECT_NE(notes.find("Big: no limit, 95 in the last census"), std::string::npos) << notes;
  EXPECT_EQ(notes.find("remove"), std::string::npos) << notes;
}

// A server log tells apart the classes that a dump writes alike: each keeps its own limit, and no
// note says they are summed.
TEST_F(ReportRun, LogKeepsLookAlikeClassesApart) {
  const std::string w = "12/08/26 13:43 [Kestrovar][warning] Blueprint'/G/Gr";
  Write(dir_ / "server.log",
        w + "\xC3\xBCn.Gr\xC3\xBCn'. Num: 2\n" + w + "\xC3\xA4n.Gr\xC3\xA4n'. Num: 7\n");
  Write(dir_ / "config.json",
        "{\"Max_Dino_Counts\": {\"Blueprint'/G/Gr\xC3\xBCn.Gr\xC3\xBCn'\": 5, "
        "\"Blueprint'/G/Gr\xC3\xA4n.Gr\xC3\xA4n'\": 9}}");
  ReportOptions options;
  options.inputs = {(dir_ / "server.log").string()};
  options.config = (dir_ / "config.json").string();
  options.format = "json";
  std::string out;
  EXPECT_EQ(Run(options, &out), 0) << out;
  const nlohmann::json doc = nlohmann::json::parse(out);
  EXPECT_EQ(doc["censuses"], 1);
  std::map<std::string, nlohmann::json> rows;
  for (const auto& row : doc["classes"]) rows[row["key"]] = row;
  ASSERT_EQ(rows.size(), 2U) << out;
  EXPECT_EQ(rows["Blueprint'/G/Gr\xC3\xBCn.Gr\xC3\xBCn'"]["last"], 2);
  EXPECT_EQ(rows["Blueprint'/G/Gr\xC3\xBCn.Gr\xC3\xBCn'"]["limit"], 5);
  EXPECT_EQ(rows["Blueprint'/G/Gr\xC3\xA4n.Gr\xC3\xA4n'"]["last"], 7);
  EXPECT_EQ(rows["Blueprint'/G/Gr\xC3\xA4n.Gr\xC3\xA4n'"]["limit"], 9);
  EXPECT_TRUE(doc["not_met_yet"].empty());
  const std::string notes = doc["notes"].dump();
  EXPECT_EQ(notes.find("more than one class"), std::string::npos) << notes;
  EXPECT_EQ(notes.find("both stand for"), std::string::npos) << notes;
  EXPECT_EQ(notes.find("matched to the dump's"), std::string::npos) << notes;
}

TEST_F(ReportRun, ExitStatusAndFolder) {
  Write(dir_ / "dumps/DinoDumpLog_01-12-2026_10-00-00.txt", "Blueprint'/G/A.A'. Num: 3\n");
  Write(dir_ / "config.json", "{\"Max_Dino_Counts\": {\"Blueprint'/G/A.A'\": 3}}");
  ReportOptions options;
  options.inputs = {(dir_ / "dumps").string()};
  options.config = (dir_ / "config.json").string();
  EXPECT_EQ(Run(options), 0);
  // A missing input, an empty folder, no census at all, an unreadable configuration: 2.
  options.inputs = {(dir_ / "dumps").string(), (dir_ / "missing.txt").string()};
  EXPECT_EQ(Run(options), 2);
  options.inputs = {dir_.string() + "/config.json"};
  EXPECT_EQ(Run(options), 2);
  options.inputs = {(dir_ / "dumps").string()};
  options.config = (dir_ / "no-config.json").string();
  EXPECT_EQ(Run(options), 2);
  options.config.reset();
  // The output folder: its files are written, rewritten, and an operator's file is never touched.
  options.out_dir = (dir_ / "dumps").string();
  std::string out;
  EXPECT_EQ(Run(options, &out), 0) << out;
  EXPECT_TRUE(fs::exists(dir_ / "dumps/report.txt"));
  EXPECT_TRUE(fs::exists(dir_ / "dumps/census.csv"));
  std::ifstream csv(dir_ / "dumps/census.csv");
  std::string header, row;
  std::getline(csv, header);
  std::getline(csv, row);
  EXPECT_EQ(header, "time,key,count,limit");
  EXPECT_EQ(row, "2026-12-01T10:00:00,Blueprint'/G/A.A',3,");
  EXPECT_EQ(Run(options), 0);
  Write(dir_ / "dumps/report.txt", "my own notes\n");
  EXPECT_EQ(Run(options), 2);
  std::ifstream kept(dir_ / "dumps/report.txt");
  std::string line;
  std::getline(kept, line);
  EXPECT_EQ(line, "my own notes");
}

}  // namespace

namespace {

// A chart of an earlier report is never listed as this one's: when this report draws none (no
// class has a limit, gnuplot is missing), the old one is gone and the report says why.
TEST_F(ReportRun, AStaleChartIsNeverListed) {
  Write(dir_ / "dumps/DinoDumpLog_01-12-2026_10-00-00.txt", "Blueprint'/G/A.A'. Num: 3\n");
  Write(dir_ / "dumps/DinoDumpLog_01-12-2026_11-00-00.txt", "Blueprint'/G/A.A'. Num: 4\n");
  Write(dir_ / "config.json", "{\"Max_Dino_Counts\": {\"Blueprint'/G/A.A'\": 3}}");
  ReportOptions options;
  options.inputs = {(dir_ / "dumps").string()};
  options.config = (dir_ / "config.json").string();
  options.out_dir = (dir_ / "out").string();
  const fs::path svg = dir_ / "out" / "population.svg";
  std::string out;
  EXPECT_EQ(Run(options, &out), 0) << out;
  if (!fs::exists(svg)) GTEST_SKIP() << "gnuplot draws no chart here: " << out;
  EXPECT_NE(out.find("\nchart: "), std::string::npos) << out;

  options.config.reset();
  EXPECT_EQ(Run(options, &out), 0) << out;
  EXPECT_FALSE(fs::exists(svg));
  EXPECT_NE(out.find("\nchart: not drawn, no class had a limit\n"), std::string::npos) << out;
  options.format = "json";
  EXPECT_EQ(Run(options, &out), 0) << out;
  // The document outlives the loop: a range over a temporary's member would dangle.
  const nlohmann::json written = nlohmann::json::parse(out);
  for (const auto& file : written.at("files_written")) {
    EXPECT_EQ(file.get<std::string>().find("population"), std::string::npos) << file;
  }

#if !defined(_WIN32)
  // Without gnuplot on the way.
  options.format = "text";
  options.config = (dir_ / "config.json").string();
  EXPECT_EQ(Run(options, &out), 0) << out;
  ASSERT_TRUE(fs::exists(svg)) << out;
  const std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  setenv("PATH", (dir_ / "no-such-folder").c_str(), 1);
  const int status = Run(options, &out);
  setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(status, 0) << out;
  EXPECT_FALSE(fs::exists(svg));
  EXPECT_NE(out.find("\nchart: not drawn, gnuplot was not found."), std::string::npos) << out;
  // A gnuplot that fails half-way: what it left is no chart.
  fs::create_directories(dir_ / "failing-gnuplot");
  Write(dir_ / "failing-gnuplot/gnuplot",
        "#!/bin/sh\n[ \"$1\" = --version ] && exit 0\n"
        "echo '<svg' > \"$(dirname \"$3\")/population.svg\"\nexit 1\n");
  fs::permissions(dir_ / "failing-gnuplot/gnuplot", fs::perms::owner_all);
  setenv("PATH", ((dir_ / "failing-gnuplot").string() + ":" + path).c_str(), 1);
  const int failed = Run(options, &out);
  setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(failed, 0) << out;
  EXPECT_FALSE(fs::exists(svg));
  EXPECT_NE(out.find("\nchart: gnuplot failed on "), std::string::npos) << out;
#endif
}

// A dump larger than the file reader's block is read whole.
TEST_F(ReportRun, LargeDumpReadWhole) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "Blueprint'/G/K" + std::to_string(i) + ".K'. Num: 1\n";
  ASSERT_GT(text.size(), 65536U);
  Write(dir_ / "dumps/DinoDumpLog_01-12-2026_10-00-00.txt", text);
  ReportOptions options;
  options.inputs = {(dir_ / "dumps").string()};
  options.format = "json";
  std::string out;
  EXPECT_EQ(Run(options, &out), 0);
  EXPECT_EQ(nlohmann::json::parse(out)["classes"].size(), 3000U);
}

}  // namespace

namespace {

// Many censuses: the CSV holds every one, the chart at most 900 points a panel.
TEST_F(ReportRun, ManyCensusesChartedInStretches) {
  for (int i = 0; i < 1000; ++i) {
    Write(dir_ / "dumps" /
              ("DinoDumpLog_01-12-2026_" + std::string(i / 60 < 10 ? "0" : "") +
               std::to_string(i / 60) + "-" + (i % 60 < 10 ? "0" : "") + std::to_string(i % 60) +
               "-00.txt"),
          "Blueprint'/G/A.A'. Num: " + std::to_string(i % 7) + "\n");
  }
  Write(dir_ / "config.json", "{\"Max_Dino_Counts\": {\"Blueprint'/G/A.A'\": 6}}");
  ReportOptions options;
  options.inputs = {(dir_ / "dumps").string()};
  options.config = (dir_ / "config.json").string();
  options.out_dir = (dir_ / "out").string();
  EXPECT_EQ(Run(options), 0);
  std::ifstream csv(dir_ / "out/census.csv");
  int rows = 0;
  for (std::string line; std::getline(csv, line);) ++rows;
  EXPECT_EQ(rows, 1 + 1000);
  std::ifstream plot(dir_ / "out/population.gp");
  int points = 0;
  bool in_data = false;
  for (std::string line; std::getline(plot, line);) {
    if (line == "EOD") in_data = false;
    if (in_data) ++points;
    if (line == "$class0 << EOD") in_data = true;
  }
  EXPECT_EQ(points, 900);
}

}  // namespace

namespace {

// Every census counts, in the order of time: an empty world's dump file, look-alike classes, a
// class missing from a census, dumps on each side of a year's end (their names sort the other
// way), and a key with a double quote in the CSV.
TEST_F(ReportRun, EveryCensusCountsInTimeOrder) {
  Write(
      dir_ / "dumps/DinoDumpLog_31-12-2026_23-50-00.txt",
      "Blueprint'/G/A.A'. Num: 4\nBlueprint'/G/Gr??n.Gr??n'. Num: 1\nBlueprint'/G/Q\"t.Q\"t'. Num: "
      "2\nBlueprint'/G/Gr??n.Gr??n'. Num: 2\n");
  Write(dir_ / "dumps/DinoDumpLog_01-01-2027_00-00-00.txt", "");
  Write(dir_ / "dumps/DinoDumpLog_01-01-2027_00-10-00.txt", "Blueprint'/G/A.A'. Num: 6\n");
  ReportOptions options;
  options.inputs = {(dir_ / "dumps").string()};
  options.out_dir = (dir_ / "out").string();
  std::string out;
  EXPECT_EQ(Run(options, &out), 0) << out;
  EXPECT_EQ(out.rfind("3 censuses from 3 files, 2026-12-31 23:50:00 to 2027-01-01 00:10:00", 0), 0U)
      << out;
  options.out_dir.reset();
  options.format = "json";
  EXPECT_EQ(Run(options, &out), 0) << out;
  const nlohmann::json doc = nlohmann::json::parse(out);
  EXPECT_EQ(doc["censuses"], 3);
  std::map<std::string, nlohmann::json> rows;
  for (const auto& row : doc["classes"]) rows[row["dump_key"]] = row;
  // The last census is the year's first by time, though its name sorts first.
  EXPECT_EQ(rows["Blueprint'/G/A.A'"]["last"], 6);
  EXPECT_EQ(rows["Blueprint'/G/A.A'"]["highest"], 6);
  // Missing from the empty world's census: none then.
  EXPECT_EQ(rows["Blueprint'/G/A.A'"]["lowest"], 0);
  EXPECT_EQ(rows["Blueprint'/G/Gr??n.Gr??n'"]["highest"], 3);
  EXPECT_EQ(rows["Blueprint'/G/Gr??n.Gr??n'"]["lowest"], 0);
  EXPECT_NE(doc["notes"].dump().find("Gr??n.Gr??n'\\\" is more than one class"), std::string::npos)
      << doc["notes"].dump();
  std::ifstream csv(dir_ / "out/census.csv", std::ios::binary);
  const std::string text(std::istreambuf_iterator<char>(csv), {});
  EXPECT_NE(text.find("\n2026-12-31T23:50:00,\"Blueprint'/G/Q\"\"t.Q\"\"t'\",2,\n"),
            std::string::npos)
      << text;
  EXPECT_LT(text.find("2026-12-31T23:50:00"), text.find("2027-01-01T00:10:00"));
  // A class known from an earlier census has a row of 0 where a census lacks it, the empty
  // world's census too, so that a graph of the CSV does not keep its old count.
  for (const char* row : {"\n2027-01-01T00:00:00,Blueprint'/G/A.A',0,\n",
                          "\n2027-01-01T00:00:00,Blueprint'/G/Gr??n.Gr??n',0,\n",
                          "\n2027-01-01T00:10:00,\"Blueprint'/G/Q\"\"t.Q\"\"t'\",0,\n"}) {
    EXPECT_NE(text.find(row), std::string::npos) << row << text;
  }
  // A limited class has a row from the first census on; a limit no census holds, one of 0 too.
  Write(dir_ / "config.json",
        "{\"Max_Dino_Counts\": {\"Blueprint'/G/Q\\\"t.Q\\\"t'\": 3, \"Blueprint'/G/N.N'\": 5}}");
  options.config = (dir_ / "config.json").string();
  options.format = "text";
  options.out_dir = (dir_ / "out").string();
  EXPECT_EQ(Run(options, &out), 0) << out;
  std::ifstream limited(dir_ / "out/census.csv", std::ios::binary);
  const std::string limited_text(std::istreambuf_iterator<char>(limited), {});
  for (const char* row : {"\n2027-01-01T00:00:00,\"Blueprint'/G/Q\"\"t.Q\"\"t'\",0,3\n",
                          "\n2026-12-31T23:50:00,Blueprint'/G/N.N',0,5\n",
                          "\n2027-01-01T00:10:00,Blueprint'/G/N.N',0,5\n"}) {
    EXPECT_NE(limited_text.find(row), std::string::npos) << row << limited_text;
  }
}

}  // namespace
