// The console and RCON registries, dispatch on the first word, and the game's message functions.

#include <memory>

#include "host/api.h"
#include "host/game_functions.h"
#include "tests/devserver/devserver_test.h"

namespace {

using Events = std::vector<std::string>;

struct ConsoleCall {
  APlayerController* player;
  std::u16string line;
  bool flag;
};

struct RconCall {
  RCONClientConnection* connection;
  bool has_packet;
  int32_t id;
  std::u16string body;
  UWorld* world;
};

class CommandsTest : public DevServerTest {
 protected:
  ArkApi::ConsoleCommandCallback RecordConsole() {
    return [this](APlayerController* player, FString* line, bool flag) {
      console_calls_.push_back({player, std::u16string(line->View()), flag});
    };
  }
  ArkApi::RconCommandCallback RecordRcon() {
    return [this](RCONClientConnection* connection, RCONPacket* packet, UWorld* world) {
      rcon_calls_.push_back({connection, packet != nullptr, packet ? packet->Id : 0,
                             packet ? std::u16string(packet->Body.View()) : u"", world});
    };
  }
  void TearDown() override {
    ArkApi::GetCommands().RemoveConsoleCommand(FString("Fake.Echo"));
    ArkApi::GetCommands().RemoveRconCommand(FString("Fake.Echo"));
    DevServerTest::TearDown();
  }

  std::vector<ConsoleCall> console_calls_;
  std::vector<RconCall> rcon_calls_;
};

TEST_F(CommandsTest, ConsoleLinesGoToTheCommandNamedByTheirFirstWordIgnoringCase) {
  ArkApi::GetCommands().AddConsoleCommand(FString("Fake.Echo"), RecordConsole());
  devserver::ConsoleCommand("fake.ECHO  hello there");
  devserver::ConsoleCommandWithoutPlayer("  FAKE.echo");
  ASSERT_EQ(console_calls_.size(), 2u);
  EXPECT_NE(console_calls_[0].player, nullptr);
  EXPECT_EQ(console_calls_[0].line, u"fake.ECHO  hello there");
  EXPECT_FALSE(console_calls_[0].flag);
  EXPECT_EQ(console_calls_[1].player, nullptr);
  EXPECT_EQ(console_calls_[1].line, u"  FAKE.echo");
}

TEST_F(CommandsTest, ALineWhoseFirstWordIsNoCommandSaysSo) {
  ArkApi::GetCommands().AddConsoleCommand(FString("Fake.Echo"), RecordConsole());
  TakeEvents();
  devserver::ConsoleCommand("fake.echoes all");
  devserver::RconCommand("fake.echo");  // the console's command is not an RCON command
  EXPECT_TRUE(console_calls_.empty());
  EXPECT_EQ(TakeOutput(), (std::vector<std::string>{"Unknown command: fake.echoes",
                                                    "Unknown command: fake.echo"}));
  EXPECT_EQ(TakeEvents(), (Events{"console unknown fake.echoes", "rcon unknown fake.echo"}));
}

TEST_F(CommandsTest, RconRequestsCarryTheirIdBodyConnectionAndWorld) {
  ArkApi::GetCommands().AddRconCommand(FString("Fake.Echo"), RecordRcon());
  EXPECT_EQ(devserver::RconCommand("FAKE.ECHO x y"), 1);
  EXPECT_EQ(devserver::RconCommand("fake.echo"), 2);
  devserver::RconCommandWithNulls("fake.echo", true, true);
  ASSERT_EQ(rcon_calls_.size(), 3u);
  EXPECT_NE(rcon_calls_[0].connection, nullptr);
  EXPECT_EQ(rcon_calls_[0].id, 1);
  EXPECT_EQ(rcon_calls_[0].body, u"FAKE.ECHO x y");
  EXPECT_EQ(rcon_calls_[0].world, devserver::World());
  EXPECT_EQ(rcon_calls_[1].id, 2);
  EXPECT_EQ(rcon_calls_[2].connection, nullptr);
  EXPECT_FALSE(rcon_calls_[2].has_packet);
}

TEST_F(CommandsTest, RegistriesKeepTheirOwnCopies) {
  auto counter = std::make_shared<int>(0);
  {
    const FString name("Fake.Echo");
    const ArkApi::ConsoleCommandCallback callback = [counter](APlayerController*, FString*, bool) {
      ++*counter;
    };
    ArkApi::GetCommands().AddConsoleCommand(name, callback);
  }
  EXPECT_EQ(counter.use_count(), 2);
  devserver::ConsoleCommand("fake.echo");
  EXPECT_EQ(*counter, 1);
  EXPECT_TRUE(ArkApi::GetCommands().RemoveConsoleCommand(FString("FAKE.ECHO")));
  EXPECT_EQ(counter.use_count(), 1);
}

TEST_F(CommandsTest, AddingANameAgainReplacesItsCallback) {
  ArkApi::GetCommands().AddConsoleCommand(FString("Fake.Echo"),
                                          [](APlayerController*, FString*, bool) { FAIL(); });
  ArkApi::GetCommands().AddConsoleCommand(FString("fake.echo"), RecordConsole());
  devserver::ConsoleCommand("fake.echo");
  EXPECT_EQ(console_calls_.size(), 1u);
  EXPECT_TRUE(ArkApi::GetCommands().RemoveConsoleCommand(FString("Fake.Echo")));
  EXPECT_FALSE(ArkApi::GetCommands().RemoveConsoleCommand(FString("Fake.Echo")));
  EXPECT_FALSE(ArkApi::GetCommands().RemoveRconCommand(FString("Fake.Echo")));
  EXPECT_EQ(TakeEvents(), (Events{"console added Fake.Echo", "console replaced fake.echo",
                                  "console removed Fake.Echo", "console absent Fake.Echo",
                                  "rcon absent Fake.Echo"}));
}

TEST_F(CommandsTest, ACommandMayRemoveItselfWhileItRuns) {
  ArkApi::GetCommands().AddConsoleCommand(
      FString("Fake.Echo"), [this](APlayerController*, FString*, bool) {
        ArkApi::GetCommands().RemoveConsoleCommand(FString("Fake.Echo"));
        console_calls_.push_back({});
      });
  devserver::ConsoleCommand("fake.echo");
  devserver::ConsoleCommand("fake.echo");
  EXPECT_EQ(console_calls_.size(), 1u);
}

FString Wide(std::u16string_view units) {
  FString text;
  text.AppendUnits(units);
  return text;
}

TEST_F(CommandsTest, ChatMessagesPrintTheirColourAndUtf8Text) {
  AShooterPlayerController* controller = nullptr;
  ArkApi::GetCommands().AddConsoleCommand(
      FString("Fake.Echo"), [&controller](APlayerController* player, FString*, bool) {
        controller = static_cast<AShooterPlayerController*>(player);
      });
  devserver::ConsoleCommand("fake.echo");
  ASSERT_NE(controller, nullptr);
  TakeEvents();
  FString green("Kestrovar: Reloaded config");
  game::ClientServerChatDirectMessage(controller, &green, {0, 1, 0, 1}, false);
  FString mixed = Wide(u"Gr\u00FC\u00DFe \xD83D\xDE00");
  game::ClientServerChatDirectMessage(controller, &mixed, {0.5f, 0.25f, 1, 1}, true);
  EXPECT_EQ(TakeOutput(), (std::vector<std::string>{
                              "[chat 0,1,0,1] Kestrovar: Reloaded config",
                              "[chat 0.5,0.25,1,1] Gr\xC3\xBC\xC3\x9F"
                              "e \xF0\x9F\x98\x80",
                          }));
  EXPECT_EQ(TakeEvents(), (Events{"chat 0,1,0,1 Kestrovar: Reloaded config",
                                  "chat 0.5,0.25,1,1 Gr\xC3\xBC\xC3\x9F"
                                  "e \xF0\x9F\x98\x80"}));
}

TEST_F(CommandsTest, RconRepliesPrintWithTheRequestIdAndType) {
  RCONClientConnection* connection = nullptr;
  ArkApi::GetCommands().AddRconCommand(
      FString("Fake.Echo"),
      [&connection](RCONClientConnection* c, RCONPacket*, UWorld*) { connection = c; });
  devserver::RconCommand("fake.echo");
  TakeEvents();
  FString reply("A. Num: 1\nB. Num: 0\n");
  game::SendRconMessage(connection, 7, 0, &reply);
  FString empty;
  game::SendRconMessage(connection, 8, 0, &empty);
  EXPECT_EQ(TakeOutput(), (std::vector<std::string>{"[rcon id=7 type=0] A. Num: 1\nB. Num: 0",
                                                    "[rcon id=8 type=0] "}));
  EXPECT_EQ(TakeEvents(), (Events{"rcon id=7 type=0 A. Num: 1\nB. Num: 0\n", "rcon id=8 type=0 "}));
}

TEST_F(CommandsTest, AnRconRequestWithTheClientsIdGetsItsRepliesBackInsteadOfPrinted) {
  ArkApi::GetCommands().AddRconCommand(
      FString("Fake.Echo"), [](RCONClientConnection* connection, RCONPacket* packet, UWorld*) {
        FString first("one\n");
        game::SendRconMessage(connection, packet->Id, 0, &first);
        FString second("zw\xC3\xB6lf");
        game::SendRconMessage(connection, packet->Id, 0, &second);
      });
  TakeEvents();
  const auto replies = devserver::RconRequest("fake.echo", 41);
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[0].id, 41);
  EXPECT_EQ(replies[0].text, "one\n");
  EXPECT_EQ(replies[1].text, "zw??lf");  // narrow text: a unit per byte, "?" above 0x7F
  const auto unknown = devserver::RconRequest("nope", 42);
  ASSERT_EQ(unknown.size(), 1u);
  EXPECT_EQ(unknown[0].id, 42);
  EXPECT_EQ(unknown[0].type, 0);
  EXPECT_EQ(unknown[0].text, "Unknown command: nope");
  EXPECT_TRUE(TakeOutput().empty());
  EXPECT_EQ(TakeEvents(),
            (Events{"rcon id=41 type=0 one\n", "rcon id=41 type=0 zw??lf", "rcon unknown nope"}));
  // The simulated connection's own ids are not used up.
  EXPECT_EQ(devserver::RconCommand("nope"), 1);
}

}  // namespace
