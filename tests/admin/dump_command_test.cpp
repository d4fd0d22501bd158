// "kvar.dumpdinos": the census to the log (console) or as one RCON reply, then to the file.

#include <ctime>

#include "tests/admin/dump_test.h"

namespace {

constexpr const char* kDumpsToFile = R"({"WriteDumpsToFile": true})";

// Out of order, in two letter cases, with a count of 0 and a key beyond ASCII (two UTF-8 bytes for
// each of its two "Ä").
void FillTable() {
  SetCount(u"Blueprint'/Game/\u00C4.\u00C4'", 3);
  SetCount(u"Blueprint'/Game/b.b'", 2);
  SetCount(u"Blueprint'/Game/C.C'", 0);
  SetCount(u"Blueprint'/Game/A.A'", 1);
}
constexpr const char* kCensus =
    "Blueprint'/Game/A.A'. Num: 1\n"
    "Blueprint'/Game/b.b'. Num: 2\n"
    "Blueprint'/Game/C.C'. Num: 0\n"
    "Blueprint'/Game/?\?.?\?'. Num: 3\n";  // "?\?" keeps "??" from reading as a trigraph

TEST_F(DumpTest, ConsoleLogsEachClassAndWritesTheFile) {
  Start(kDumpsToFile);
  FillTable();
  const auto table = DinoCountEntries();
  const std::time_t before = std::time(nullptr);
  devserver::ConsoleCommand("kvar.dumpdinos extra words");
  const std::time_t after = std::time(nullptr);

  EXPECT_EQ(TakeEvents(), Lines{});
  EXPECT_EQ(PluginLogLines(),
            (Lines{"warning: Blueprint'/Game/A.A'. Num: 1", "warning: Blueprint'/Game/b.b'. Num: 2",
                   "warning: Blueprint'/Game/C.C'. Num: 0",
                   "warning: Blueprint'/Game/\xC3\x84.\xC3\x84'. Num: 3"}));
  const auto files = DumpFiles();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(IsDumpFileNameBetween(files.begin()->first, before, after)) << files.begin()->first;
  EXPECT_EQ(files.begin()->second, AsStored(kCensus));
  EXPECT_EQ(DinoCountEntries(), table);
}

TEST_F(DumpTest, RconRepliesOnceThenWritesTheFile) {
  Start(kDumpsToFile);
  FillTable();
  const int32_t first = devserver::RconCommand("kvar.dumpdinos");
  const int32_t second = devserver::RconCommand("kvar.dumpdinos extra words");
  EXPECT_EQ(TakeEvents(), (Lines{RconReply(first, kCensus), RconReply(second, kCensus)}));
  EXPECT_EQ(PluginLogLines(), Lines{});
  for (const auto& [name, bytes] : DumpFiles()) EXPECT_EQ(bytes, AsStored(kCensus)) << name;
}

TEST_F(DumpTest, AnEmptyTableGivesAnEmptyReplyAndAnEmptyFile) {
  Start(kDumpsToFile);
  devserver::ConsoleCommand("kvar.dumpdinos");
  EXPECT_EQ(TakeEvents(), Lines{});
  EXPECT_EQ(PluginLogLines(), Lines{});
  EXPECT_EQ(DumpFiles().size(), 1u);
  std::filesystem::remove_all(LogDir());

  const int32_t id = devserver::RconCommand("kvar.dumpdinos");
  EXPECT_EQ(TakeEvents(), Lines{RconReply(id, "")});
  const auto files = DumpFiles();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files.begin()->second, "");
}

TEST_F(DumpTest, RconWithoutConnectionOrPacketStillWritesTheFile) {
  Start(kDumpsToFile);
  FillTable();
  for (const auto& [null_connection, null_packet] :
       {std::pair{false, true}, {true, false}, {true, true}}) {
    std::filesystem::remove_all(LogDir());
    devserver::RconCommandWithNulls("kvar.dumpdinos", null_connection, null_packet);
    const auto files = DumpFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files.begin()->second, AsStored(kCensus));
  }
  EXPECT_EQ(TakeEvents(), Lines{});
}

// An error of the file writer ends that dump only, after the log lines or the reply are out.
TEST_F(DumpTest, AFlagOfTheWrongTypeEndsOnlyTheDump) {
  const std::pair<std::string, std::string> cases[] = {
      {R"({"WriteDumpsToFile": 1})", "type_error.302] type must be boolean, but is number"},
      {R"({"WriteDumpsToFile": "true"})", "type_error.302] type must be boolean, but is string"},
      {"[true]", "type_error.306] cannot use value() with array"},
  };
  for (const auto& [config_text, error] : cases) {
    Start(config_text);
    SetCount(u"Blueprint'/Game/A.A'", 4);
    const std::string logged = "critical: Error in kvar.dumpdinos: [json.exception." + error;
    devserver::ConsoleCommand("kvar.dumpdinos");
    const int32_t id = devserver::RconCommand("kvar.dumpdinos");
    EXPECT_EQ(TakeEvents(), Lines{RconReply(id, "Blueprint'/Game/A.A'. Num: 4\n")});
    EXPECT_EQ(PluginLogLines(), (Lines{"warning: Blueprint'/Game/A.A'. Num: 4", logged, logged}));
    EXPECT_FALSE(std::filesystem::exists(LogDir()));
    EXPECT_EQ(DinoCountEntries(), (CountEntries{{"Blueprint'/Game/A.A'", 4}}));
    Detach();
    ResetPluginState();
  }
}

}  // namespace
