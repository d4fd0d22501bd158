// The RCON listener with the real plug-in behind it. The test's thread is the game thread and
// serves the listener; clients run on threads of their own, on 127.0.0.1, each wait bounded.

#include "tools/serve/rcon_listener.h"

#include <gtest/gtest.h>

#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "devserver/control/server.h"
#include "tests/rcon/test_client.h"
#include "tools/common/rcon_packets.h"

namespace {

constexpr const char* kPassword = "s3cret";
constexpr const char* kStrider = "/Game/Creatures/Strider/Strider_Character.Strider_Character_C";

class RconListenerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    server_dir_ =
        std::filesystem::temp_directory_path() / ("kestrovar-rcon-" + std::to_string(random()));
    const auto plugin_dir = server_dir_ / "ArkApi" / "Plugins" / "Kestrovar";
    std::filesystem::create_directories(plugin_dir);
    std::ofstream(plugin_dir / "config.json") << "{}";
    devserver::ServerOptions options;
    options.server_dir = server_dir_.string();
    options.log_to_stdout = false;
    devserver::StartServer(options);
    devserver::SetOutput([](std::string_view) {});
    const auto library =
        std::filesystem::path(devserver::ProgramDirectory()) / KESTROVAR_PLUGIN_FILE;
    ASSERT_EQ(devserver::LoadPlugin(library.string()), "");
    devserver::InitGame();
    devserver::SpawnRequest strider;
    strider.reference = kStrider;
    devserver::Spawn(strider, 2);
  }

  void TearDown() override {
    listener_.reset();
    devserver::StopServer();
    EXPECT_EQ(devserver::Faults(), std::vector<std::string>{});
    std::error_code ignored;
    std::filesystem::remove_all(server_dir_, ignored);
  }

  void Listen(rcon::ListenerOptions options = {}) {
    options.password = kPassword;
    listener_.emplace(
        io_, options,
        [this](std::string_view command, int32_t id) {
          commands_run_.emplace_back(command);
          std::vector<std::string> texts;
          for (auto& reply : devserver::RconRequest(command, id)) texts.push_back(reply.text);
          return texts;
        },
        [this](std::string_view line) { log_.emplace_back(line); });
  }

  // Runs `clients` on a thread of its own while this thread, the game thread, serves the
  // listener; at most 20 s.
  template <typename Clients>
  void Serve(Clients&& clients) {
    auto done = std::async(std::launch::async, std::forward<Clients>(clients));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (done.wait_for(std::chrono::seconds(0)) != std::future_status::ready &&
           std::chrono::steady_clock::now() < deadline) {
      io_.run_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(done.wait_for(std::chrono::seconds(0)), std::future_status::ready) << "clients hung";
    done.get();
    // Let the server see the last disconnections.
    for (int i = 0; i < 20 && listener_->connections() > 0; ++i) {
      io_.run_for(std::chrono::milliseconds(5));
    }
  }

  // What a client that behaves gets: the dump of the two striders.
  static void ExpectServed(TestClient& client, int32_t id) {
    EXPECT_EQ(client.Command("kvar.dumpdinos", id),
              "Blueprint'/Game/Creatures/Strider/Strider_Character.Strider_Character'. Num: 2\n");
  }

  static void ExpectNewClientServed(uint16_t port) {
    TestClient client(port);
    EXPECT_TRUE(client.Authenticate(kPassword));
    ExpectServed(client, 77);
  }

  // The log lines that mention `text`.
  std::vector<std::string> LogWith(std::string_view text) const {
    std::vector<std::string> lines;
    for (const auto& line : log_) {
      if (line.find(text) != std::string::npos) lines.push_back(line);
    }
    return lines;
  }

  std::filesystem::path server_dir_;
  asio::io_context io_;
  std::optional<rcon::Listener> listener_;
  std::vector<std::string> log_;
  std::vector<std::string> commands_run_;
};

TEST_F(RconListenerTest, AnAuthenticatedClientRunsBothCommandsAndGetsTheirReplies) {
  Listen();
  const uint16_t port = listener_->port();
  Serve([port] {
    TestClient client(port);
    EXPECT_TRUE(client.Authenticate(kPassword, 5));
    ExpectServed(client, 6);
    EXPECT_EQ(client.Command("kvar.reload", 7), "Kestrovar: Reloaded config");
    EXPECT_EQ(client.Command("no.such.command", 8), "Unknown command: no.such.command");
    // Replies carry the client's own ids, negative ones included.
    EXPECT_EQ(client.Command("kvar.reload", -9), "Kestrovar: Reloaded config");
  });
  EXPECT_EQ(LogWith("authenticated").size(), 1u);
  EXPECT_EQ(LogWith("closed: disconnected").size(), 1u);
}

TEST_F(RconListenerTest, AWrongPasswordIsAnsweredThenTheConnectionCloses) {
  Listen();
  const uint16_t port = listener_->port();
  Serve([port] {
    TestClient client(port);
    EXPECT_FALSE(client.Authenticate("wrong", 3));
    EXPECT_TRUE(client.ClosedByServer());
    ExpectNewClientServed(port);
  });
  EXPECT_EQ(LogWith("failed authentication").size(), 1u);
  EXPECT_EQ(LogWith("closed: wrong password").size(), 1u);
}

TEST_F(RconListenerTest, AnUnauthenticatedClientGetsNoCommandRun) {
  Listen();
  const uint16_t port = listener_->port();
  Serve([port] {
    TestClient client(port);
    client.Send(1, rcon::kExecCommand, "kvar.reload");
    EXPECT_TRUE(client.ClosedByServer());
    ExpectNewClientServed(port);
  });
  EXPECT_EQ(commands_run_, std::vector<std::string>{"kvar.dumpdinos"});
  EXPECT_EQ(LogWith("closed: sent a request before authenticating").size(), 1u);
}

TEST_F(RconListenerTest, TwoClientsInterleavedEachGetTheirOwnReplies) {
  Listen();
  const uint16_t port = listener_->port();
  Serve([port] {
    TestClient first(port);
    TestClient second(port);
    EXPECT_TRUE(first.Authenticate(kPassword, 1));
    EXPECT_TRUE(second.Authenticate(kPassword, 1));
    // Half of the first's command, the second's whole command, the rest of the first's.
    const std::string command = rcon::EncodePacket(10, rcon::kExecCommand, "kvar.reload");
    first.SendBytes(command.substr(0, 9));
    second.Send(20, rcon::kExecCommand, "kvar.dumpdinos");
    const auto second_reply = second.Receive();
    ASSERT_TRUE(second_reply);
    EXPECT_EQ(second_reply->id, 20);
    first.SendBytes(command.substr(9));
    EXPECT_EQ(first.Receive(),
              (rcon::Packet{10, rcon::kResponseValue, "Kestrovar: Reloaded config"}));
    ExpectServed(second, 21);
  });
}

TEST_F(RconListenerTest, PacketsSplitAcrossReadsOrSharingOneAreAllServed) {
  Listen();
  const uint16_t port = listener_->port();
  Serve([port] {
    TestClient client(port);
    // Authentication and a command in one write.
    client.SendBytes(rcon::EncodePacket(1, rcon::kAuth, kPassword) +
                     rcon::EncodePacket(2, rcon::kExecCommand, "kvar.reload"));
    EXPECT_EQ(client.Receive(), (rcon::Packet{1, rcon::kAuthResponse, ""}));
    EXPECT_EQ(client.Receive(),
              (rcon::Packet{2, rcon::kResponseValue, "Kestrovar: Reloaded config"}));
    // A command a few bytes at a time, with pauses so that the server reads each piece apart.
    const std::string command = rcon::EncodePacket(3, rcon::kExecCommand, "kvar.reload");
    for (std::size_t at = 0; at < command.size(); at += 5) {
      client.SendBytes(command.substr(at, 5));
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(client.Receive(),
              (rcon::Packet{3, rcon::kResponseValue, "Kestrovar: Reloaded config"}));
  });
}

TEST_F(RconListenerTest, BadInputClosesOnlyThatConnection) {
  Listen();
  const uint16_t port = listener_->port();
  struct Case {
    const char* name;
    std::string bytes;
    bool authenticate_first;
    const char* logged;
  };
  const std::string no_terminator = rcon::EncodePacket(4, rcon::kExecCommand, "kvar.reload");
  const std::string half = rcon::EncodePacket(4, rcon::kExecCommand, "kvar.reload").substr(0, 12);
  const std::vector<Case> cases = {
      {"garbage", "GET / HTTP/1.1\r\nHost: x\r\n\r\n", false, "packet size 542393671 over"},
      {"negative size", rcon::EncodePacket(1, 2, "").replace(0, 4, "\xff\xff\xff\xff"), true,
       "negative packet size -1"},
      {"size too small", rcon::EncodePacket(1, 2, "").replace(0, 1, "\x08"), true,
       "below the minimum 10"},
      {"size too large", rcon::EncodePacket(1, 2, std::string(5000, 'a')), true,
       "packet size 5010 over the limit 4096"},
      {"no terminator", no_terminator.substr(0, no_terminator.size() - 2) + "xx", true,
       "packet body without its terminator"},
      {"gone mid-packet", half, true, "gone mid-packet (8 of 21 bytes)"},
  };
  Serve([&] {
    // A client that stays connected throughout, served after each bad one.
    TestClient bystander(port);
    EXPECT_TRUE(bystander.Authenticate(kPassword));
    int32_t id = 100;
    for (const Case& test : cases) {
      SCOPED_TRACE(test.name);
      {
        TestClient bad(port);
        if (test.authenticate_first) {
          EXPECT_TRUE(bad.Authenticate(kPassword));
        }
        bad.SendBytes(test.bytes);
        if (std::string(test.name) == "gone mid-packet") {
          bad.Close();
        } else {
          EXPECT_TRUE(bad.ClosedByServer());
        }
      }
      ExpectServed(bystander, ++id);
      ExpectNewClientServed(port);
    }
  });
  for (const Case& test : cases) {
    EXPECT_EQ(LogWith(test.logged).size(), 1u) << test.name;
  }
  EXPECT_EQ(commands_run_.size(), 2 * cases.size());
}

TEST_F(RconListenerTest, ConnectionsBeyondTheLimitAreRefused) {
  rcon::ListenerOptions options;
  options.max_connections = 2;
  Listen(options);
  const uint16_t port = listener_->port();
  Serve([port] {
    auto first = std::make_unique<TestClient>(port);
    TestClient second(port);
    EXPECT_TRUE(first->Authenticate(kPassword));
    EXPECT_TRUE(second.Authenticate(kPassword));
    TestClient third(port);
    EXPECT_TRUE(third.ClosedByServer());
    ExpectServed(second, 2);
    first->Close();
    first.reset();
    // The server sees the first go before it accepts the next (bounded wait).
    for (int attempt = 0; attempt < 50; ++attempt) {
      TestClient next(port);
      next.Send(1, rcon::kAuth, kPassword);
      if (const auto answer = next.Receive()) {
        EXPECT_EQ(*answer, (rcon::Packet{1, rcon::kAuthResponse, ""}));
        ExpectServed(next, 3);
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ADD_FAILURE() << "no room for a new client after one left";
  });
  EXPECT_GE(LogWith("refused: 2 connections open already").size(), 1u);
}

#if !defined(_WIN32)
TEST_F(RconListenerTest, AcceptFailingWithoutFileHandlesPausesBetweenAttemptsAndRecovers) {
  Listen();
  // A client whose connection waits in the backlog: every accept of it fails while the process
  // may open no further file.
  asio::io_context client_io;
  asio::ip::tcp::socket waiting(client_io);
  waiting.connect({asio::ip::make_address("127.0.0.1"), listener_->port()});
  rlimit limits{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limits), 0);
  const int next_handle = dup(0);
  ASSERT_GE(next_handle, 0);
  close(next_handle);
  rlimit lowered = limits;
  lowered.rlim_cur = static_cast<rlim_t>(next_handle);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
  io_.run_for(std::chrono::milliseconds(500));
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limits), 0);

  // About one attempt per 100 ms, not a loop on the game thread.
  const auto failures = LogWith("accept failed").size();
  EXPECT_GE(failures, 1u);
  EXPECT_LE(failures, 10u);
  const uint16_t port = listener_->port();
  Serve([port] { ExpectNewClientServed(port); });
}
#endif

TEST_F(RconListenerTest, AClientThatNeverAuthenticatesIsClosedInTime) {
  rcon::ListenerOptions options;
  options.auth_timeout = std::chrono::milliseconds(100);
  Listen(options);
  const uint16_t port = listener_->port();
  Serve([port] {
    TestClient idle(port);
    EXPECT_TRUE(idle.ClosedByServer());
    ExpectNewClientServed(port);
  });
  EXPECT_EQ(LogWith("closed: not authenticated within 100 ms").size(), 1u);
}

TEST_F(RconListenerTest, ALongReplyArrivesWholeOverSeveralPackets) {
  // Enough classes for a dump of three packets.
  std::string expected;
  std::vector<std::string> lines;
  for (int i = 0; i < 130; ++i) {
    const std::string name = "Beast" + std::to_string(1000 + i);
    const std::string reference =
        "/Game/Creatures/" + name + "/" + name + "_Character." + name + "_Character_C";
    devserver::SpawnRequest request;
    request.reference = reference;
    devserver::Spawn(request);
    lines.push_back(devserver::ClassKeyOf(reference) + ". Num: 1\n");
  }
  lines.push_back(
      "Blueprint'/Game/Creatures/Strider/Strider_Character.Strider_Character'. Num: 2\n");
  for (const auto& line : lines) expected += line;
  ASSERT_GT(expected.size(), 2 * rcon::kMaxBodyPerPacket);
  Listen();
  const uint16_t port = listener_->port();
  Serve([&] {
    TestClient client(port);
    EXPECT_TRUE(client.Authenticate(kPassword));
    EXPECT_EQ(client.Command("kvar.dumpdinos", 1), expected);
    // Each packet holds whole lines, for clients that show one packet at a time.
    client.Send(2, rcon::kExecCommand, "kvar.dumpdinos");
    std::string joined;
    while (joined.size() < expected.size()) {
      const auto packet = client.Receive();
      ASSERT_TRUE(packet.has_value());
      ASSERT_FALSE(packet->body.empty());
      EXPECT_EQ(packet->body.back(), '\n');
      joined += packet->body;
    }
    EXPECT_EQ(joined, expected);
  });
}

// The peer's address is the one it connected from, even when it has reset the connection by the
// time the accept completes.
TEST_F(RconListenerTest, APeerThatResetsAtOnceIsLoggedByItsAddress) {
  Listen();
  asio::io_context client_io;
  asio::ip::tcp::socket resetting(client_io);
  resetting.connect({asio::ip::make_address("127.0.0.1"), listener_->port()});
  const uint16_t client_port = resetting.local_endpoint().port();
  resetting.set_option(asio::socket_base::linger(true, 0));
  resetting.close();
  const uint16_t port = listener_->port();
  Serve([port] { ExpectNewClientServed(port); });
  EXPECT_EQ(LogWith("0.0.0.0:0"), std::vector<std::string>{});
  const std::size_t named =
      LogWith("rcon: 127.0.0.1:" + std::to_string(client_port) + " connected").size();
#if defined(_WIN32)
  // Windows may drop a connection reset before its accept: then there is no one to name.
  if (named == 0) GTEST_SKIP() << "the system dropped the reset connection before its accept";
#endif
  EXPECT_EQ(named, 1u);
}

// A client that sends commands and never reads their replies: what waits for it is capped, and the
// connection closes, so that such a client cannot grow the server's memory.
TEST_F(RconListenerTest, AClientThatNeverReadsIsClosedBeforeItsRepliesPileUp) {
  rcon::ListenerOptions options;
  options.password = kPassword;
  options.max_unsent_bytes = 64 * 1024;
  const std::string reply(4000, 'x');
  std::atomic<bool> dropped = false;
  listener_.emplace(
      io_, options, [&reply](std::string_view, int32_t) { return std::vector<std::string>{reply}; },
      [this, &dropped](std::string_view line) {
        log_.emplace_back(line);
        if (line.find("closed:") != std::string_view::npos) dropped = true;
      });
  const uint16_t port = listener_->port();
  // 40 MB of replies: far more than the sockets' buffers on both sides hold.
  constexpr int kCommands = 10000;
  Serve([port, &dropped] {
    // Not even the answer to the authentication is read. The write may fail part way: the server
    // closes the connection while it is still sending.
    std::string requests = rcon::EncodePacket(1, rcon::kAuth, kPassword);
    for (int id = 2; id < 2 + kCommands; ++id) {
      requests += rcon::EncodePacket(id, rcon::kExecCommand, "kvar.dumpdinos");
    }
    asio::io_context client_io;
    asio::ip::tcp::socket client(client_io);
    client.connect({asio::ip::make_address("127.0.0.1"), port});
    asio::error_code ignored;
    asio::write(client, asio::buffer(requests), ignored);
    for (int waited = 0; waited < 1500 && !dropped; ++waited) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  const std::vector<std::string> closed = LogWith("closed: does not read its replies (");
  ASSERT_EQ(closed.size(), 1u);
  // Closed as soon as the cap was passed: by less than one reply's packet.
  const std::size_t unsent = std::stoul(closed[0].substr(closed[0].rfind('(') + 1));
  EXPECT_GT(unsent, options.max_unsent_bytes);
  EXPECT_LE(unsent, options.max_unsent_bytes + reply.size() + 14);
}

// Where the listener binds: host names are resolved; every interface is allowed with a warning.
TEST_F(RconListenerTest, BindAddressesAreResolvedAndEveryInterfaceIsWarnedOf) {
  const struct {
    const char* bind;
    const char* address;  // the start of the address bound
    std::size_t warnings;
  } cases[] = {
      {"localhost", "127.0.0.1:", 0}, {"0.0.0.0", "0.0.0.0:", 1}, {"127.0.0.1", "127.0.0.1:", 0}};
  for (const auto& one : cases) {
    log_.clear();
    rcon::ListenerOptions options;
    options.bind_address = one.bind;
    Listen(options);
    EXPECT_EQ(listener_->address().rfind(one.address, 0), 0u) << listener_->address();
    EXPECT_EQ(LogWith("warning: listening on every network interface").size(), one.warnings)
        << one.bind;
    const uint16_t port = listener_->port();
    Serve([port] { ExpectNewClientServed(port); });
    listener_.reset();
  }
}

TEST_F(RconListenerTest, AnEmptyPasswordIsRefused) {
  rcon::ListenerOptions options;
  options.password = "";
  EXPECT_THROW(rcon::Listener refused(io_, options, {}, {}), std::runtime_error);
}

}  // namespace
