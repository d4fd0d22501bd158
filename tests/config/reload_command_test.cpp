// "kvar.reload" from the console and over RCON, and the first read at load.

#include <new>
#include <string>
#include <vector>

#include "config/config.h"
#include "tests/support/plugin_test.h"

namespace {

using Lines = std::vector<std::string>;

constexpr const char* kReloaded = "Kestrovar: Reloaded config";
constexpr const char* kFailed = "Kestrovar: Failed to reload config";
constexpr const char* kCantOpen = "critical: Failed to reload config! \n Can't open config.json";
constexpr const char* kBrokenFile = R"({"Max_Dino_Counts": {"A": 9, "B":)";
constexpr const char* kBrokenFileLog =
    "critical: Failed to reload config! \n [json.exception.parse_error.101] parse error at line 1, "
    "column 34: syntax error while parsing value - unexpected end of input; expected '[', '{', or "
    "a literal";

class ReloadCommandTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    WriteConfig(R"({"Max_Dino_Counts": {"A": 5}})");
    Attach();
    TakeEvents();
  }
  static int32_t LimitOfA() { return GetMaxDinoCount(FString("A")); }
  static std::string RconReply(int32_t id, const std::string& text) {
    return "rcon id=" + std::to_string(id) + " type=0 " + text;
  }
};

TEST_F(ReloadCommandTest, ConsoleTellsThePlayerInGreenOrRed) {
  WriteConfig(R"({"Max_Dino_Counts": {"A": 6}})");
  EXPECT_EQ(LimitOfA(), 5) << "a setting is read from the document in force, not the file";
  devserver::ConsoleCommand("kvar.reload");
  EXPECT_EQ(devserver::GameCalls(),
            Lines{"ClientServerChatDirectMessage player controller bold false"});
  EXPECT_EQ(TakeEvents(), Lines{std::string("chat 0,1,0,1 ") + kReloaded});
  EXPECT_EQ(LimitOfA(), 6);
  EXPECT_EQ(PluginLogLines(), Lines{});

  RemoveConfig();
  devserver::ConsoleCommand("kvar.reload");
  EXPECT_EQ(TakeEvents(), Lines{std::string("chat 1,0,0,1 ") + kFailed});
  EXPECT_EQ(PluginLogLines(), Lines{kCantOpen});
  EXPECT_EQ(LimitOfA(), 6);
}

TEST_F(ReloadCommandTest, ConsoleWithoutPlayerReloadsAndLogsButSendsNothing) {
  WriteConfig(R"({"Max_Dino_Counts": {"A": 7}})");
  devserver::ConsoleCommandWithoutPlayer("kvar.reload");
  EXPECT_EQ(LimitOfA(), 7);
  WriteConfig(kBrokenFile);
  devserver::ConsoleCommandWithoutPlayer("kvar.reload");
  EXPECT_EQ(LimitOfA(), 7);
  EXPECT_EQ(TakeEvents(), Lines{});
  EXPECT_EQ(PluginLogLines(), Lines{kBrokenFileLog});
}

TEST_F(ReloadCommandTest, RconRepliesToTheRequest) {
  WriteConfig(R"({"Max_Dino_Counts": {"A": 8}})");
  const int32_t first = devserver::RconCommand("kvar.reload");
  EXPECT_EQ(LimitOfA(), 8);
  WriteConfig(kBrokenFile);
  const int32_t second = devserver::RconCommand("kvar.reload");
  EXPECT_NE(first, second);
  EXPECT_EQ(TakeEvents(), (Lines{RconReply(first, kReloaded), RconReply(second, kFailed)}));
  EXPECT_EQ(PluginLogLines(), Lines{kBrokenFileLog});
  EXPECT_EQ(LimitOfA(), 8);
}

TEST_F(ReloadCommandTest, RconWithoutConnectionOrPacketReloadsWithoutReply) {
  int32_t limit = 10;
  for (const auto& [null_connection, null_packet] :
       {std::pair{true, false}, {false, true}, {true, true}}) {
    WriteConfig(R"({"Max_Dino_Counts": {"A": )" + std::to_string(++limit) + "}}");
    devserver::RconCommandWithNulls("kvar.reload", null_connection, null_packet);
    EXPECT_EQ(LimitOfA(), limit);
  }
  RemoveConfig();
  devserver::RconCommandWithNulls("kvar.reload", true, true);
  EXPECT_EQ(TakeEvents(), Lines{});
  EXPECT_EQ(PluginLogLines(), Lines{kCantOpen});
}

// Whichever engine allocation of the command fails, the caller hears of a failure or a success,
// and nothing escapes to the host (the fixture checks the host's faults).
TEST_F(ReloadCommandTest, AFailedAllocationIsReportedAsAFailure) {
  int failures = 0;
  for (int64_t nth = 1; nth <= 8; ++nth) {
    devserver::ClearLogEntries();
    devserver::FailAllocationAfter(nth);
    // The host's own copy of the command line may be the one that fails; the plug-in is not
    // reached then.
    const std::string host_error = ErrorOf([] { devserver::ConsoleCommand("kvar.reload"); });
    devserver::FailAllocationAfter(0);
    if (!host_error.empty()) {
      TakeEvents();
      continue;
    }
    const Lines events = TakeEvents();
    const Lines log = PluginLogLines();
    if (events == Lines{std::string("chat 1,0,0,1 ") + kFailed}) {
      ++failures;
      // std::bad_alloc's text is the standard library's own.
      EXPECT_EQ(log, Lines{"critical: Failed to reload config! \n " +
                           std::string(std::bad_alloc().what())})
          << nth;
    } else {
      EXPECT_EQ(events, Lines{std::string("chat 0,1,0,1 ") + kReloaded}) << nth;
      EXPECT_EQ(log, Lines{}) << nth;
    }
  }
  EXPECT_GT(failures, 0);
}

// The first read happens at load; when it fails, the plug-in stays in without installing anything
// and says why in one line.
class FirstReadTest : public PluginTest {};

TEST_F(FirstReadTest, AFailedFirstReadInstallsNothing) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "Can't open config.json"},
      {"{\"A\": }",
       "[json.exception.parse_error.101] parse error at line 1, column 7: syntax error while "
       "parsing value - unexpected '}'; expected '[', '{', or a literal"}};
  for (const auto& [file, error] : cases) {
    if (file.empty()) {
      RemoveConfig();
    } else {
      WriteConfig(file);
    }
    TakeEvents();
    devserver::ClearLogEntries();
    Attach();
    EXPECT_EQ(PluginLogLines(), Lines{"critical: Failed to load config! \n " + error});
    EXPECT_EQ(TakeEvents(), Lines{});
    EXPECT_EQ(devserver::InstalledHooks(), Lines{});
    Detach();
    ResetPluginState();
  }
}

}  // namespace
