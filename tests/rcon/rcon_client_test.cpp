// The RCON client of `kestrovar rcon` and `watch` against servers that behave as servers may (a
// reply in several packets that arrive in any split, an empty packet before the password's answer,
// answers to earlier requests) and as they should not (no end of reply, a close mid-reply), and the
// words an operator gives them: HOST:PORT, the password file, durations, the Prometheus file.

#include "tools/rcon/rcon_client.h"

#include <gtest/gtest.h>

#include <asio.hpp>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "tools/common/rcon_packets.h"
#include "tools/rcon/rcon_command.h"
#include "tools/rcon/rcon_target.h"
#include "tools/report/report_command.h"
#include "tools/watch/census_file.h"
#include "tools/watch/duration.h"
#include "tools/watch/prometheus_text.h"
#include "tools/watch/watch_command.h"
#include "tools/watch/watch_report.h"

namespace {

using namespace std::chrono_literals;
using rcon::EncodePacket;
using rcon::Packet;

// A server of one connection on 127.0.0.1, on a thread: `script` gets each packet received and
// the socket to answer on; it returns false to close the connection.
class ScriptedServer {
 public:
  using Script = std::function<bool(const Packet&, asio::ip::tcp::socket&)>;

  explicit ScriptedServer(Script script)
      : acceptor_(io_, {asio::ip::make_address("127.0.0.1"), 0}) {
    port_ = acceptor_.local_endpoint().port();
    thread_ = std::thread([this, script = std::move(script)] {
      asio::error_code error;
      asio::ip::tcp::socket socket(io_);
      acceptor_.accept(socket, error);
      if (error) return;
      rcon::PacketReader reader;
      std::array<char, 4096> buffer{};
      for (;;) {
        const std::size_t size = socket.read_some(asio::buffer(buffer), error);
        if (error) return;
        for (const Packet& packet : reader.Feed(std::string_view(buffer.data(), size))) {
          if (!script(packet, socket)) return;
        }
      }
    });
  }
  ~ScriptedServer() {
    asio::error_code ignored;
    acceptor_.close(ignored);
    thread_.join();
  }
  uint16_t port() const { return port_; }

 private:
  asio::io_context io_;
  asio::ip::tcp::acceptor acceptor_;
  uint16_t port_ = 0;
  std::thread thread_;
};

// Writes `bytes` a few at a time, so that the client meets packets split anywhere.
void Trickle(asio::ip::tcp::socket& socket, const std::string& bytes, std::size_t piece) {
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    asio::write(socket, asio::buffer(bytes.data() + at, std::min(piece, bytes.size() - at)));
  }
}

rcon::ClientOptions Quick() {
  rcon::ClientOptions options;
  options.timeout = 2000ms;
  return options;
}

std::string LongReply() {
  std::string text;
  for (int i = 0; i < 300; ++i) {
    text += "Blueprint'/Game/K" + std::to_string(i) + "/K.K'. Num: " + std::to_string(i) + "\n";
  }
  return text;
}

TEST(RconClient, AReplyOfManyPacketsComesWholeWhateverTheSplit) {
  const std::string reply = LongReply();
  ASSERT_GT(reply.size(), 2 * rcon::kMaxBodyPerPacket);
  for (const std::size_t piece : {std::size_t{5}, std::size_t{4099}, std::size_t{1} << 20}) {
    SCOPED_TRACE("writes of " + std::to_string(piece) + " bytes");
    ScriptedServer server([&](const Packet& packet, asio::ip::tcp::socket& socket) {
      if (packet.type == rcon::kAuth) {
        // An empty response-value packet before the answer, as some servers send.
        Trickle(socket,
                EncodePacket(packet.id, rcon::kResponseValue, "") +
                    EncodePacket(packet.id, rcon::kAuthResponse, ""),
                piece);
      } else if (packet.type == rcon::kExecCommand) {
        // An answer to some earlier request first: not part of this reply.
        Trickle(socket,
                EncodePacket(packet.id - 10, rcon::kResponseValue, "stale\n") +
                    rcon::EncodeReply(packet.id, reply),
                piece);
      } else {
        Trickle(socket, EncodePacket(packet.id, rcon::kResponseValue, ""), piece);
      }
      return true;
    });
    rcon::Client client("127.0.0.1", server.port(), Quick());
    client.Connect();
    client.Authenticate("pw");
    EXPECT_EQ(client.Command("kvar.dumpdinos"), reply);
    // The connection serves the next command too.
    EXPECT_EQ(client.Command("kvar.dumpdinos"), reply);
    client.Close();
  }
}

// What each misbehaving server makes of a command: the failure and words of the error.
TEST(RconClient, EachFailureIsNamed) {
  struct Case {
    const char* name;
    ScriptedServer::Script script;
    rcon::Failure failure;
    const char* words;
  };
  const auto authenticate = [](const Packet& packet, asio::ip::tcp::socket& socket) {
    asio::write(socket, asio::buffer(EncodePacket(packet.id, rcon::kAuthResponse, "")));
  };
  const Case cases[] = {
      {"wrong password",
       [](const Packet&, asio::ip::tcp::socket& socket) {
         asio::write(socket, asio::buffer(EncodePacket(-1, rcon::kAuthResponse, "")));
         return false;
       },
       rcon::Failure::kWrongPassword, "refused the RCON password"},
      {"no end of the reply",
       [&](const Packet& packet, asio::ip::tcp::socket& socket) {
         if (packet.type == rcon::kAuth) authenticate(packet, socket);
         if (packet.type == rcon::kExecCommand) {
           asio::write(socket, asio::buffer(EncodePacket(packet.id, rcon::kResponseValue, "a\n")));
         }
         return true;  // the empty request is never answered
       },
       rcon::Failure::kTimedOut, "did not come within 300 ms (2 bytes of it came"},
      {"closed mid-reply",
       [&](const Packet& packet, asio::ip::tcp::socket& socket) {
         if (packet.type == rcon::kAuth) authenticate(packet, socket);
         if (packet.type != rcon::kExecCommand) return true;
         const std::string bytes = EncodePacket(packet.id, rcon::kResponseValue, "abc");
         asio::write(socket, asio::buffer(bytes.substr(0, 9)));
         return false;
       },
       // Closed or reset: the unread follow-up request makes the peer's close a reset at times.
       rcon::Failure::kLost, "before the end of the reply"},
      {"no RCON at all",
       [](const Packet&, asio::ip::tcp::socket& socket) {
         asio::write(socket, asio::buffer(std::string("HTTP/1.1 400 Bad Request\r\n\r\n")));
         return true;
       },
       rcon::Failure::kProtocol, "sent bytes that are no RCON packet"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedServer server(c.script);
    rcon::ClientOptions options;
    options.timeout = 300ms;
    rcon::Client client("127.0.0.1", server.port(), options);
    try {
      client.Connect();
      client.Authenticate("pw");
      client.Command("kvar.dumpdinos");
      ADD_FAILURE() << "no error";
    } catch (const rcon::ClientError& error) {
      EXPECT_EQ(error.failure(), c.failure) << error.what();
      EXPECT_NE(std::string(error.what()).find(c.words), std::string::npos) << error.what();
    }
    EXPECT_FALSE(client.connected());
  }
}

TEST(RconClient, NothingListeningIsARefusalAndAStopEndsAWait) {
  uint16_t port = 0;
  {
    asio::io_context io;
    asio::ip::tcp::acceptor taken(io, {asio::ip::make_address("127.0.0.1"), 0});
    port = taken.local_endpoint().port();
  }
  rcon::Client refused("127.0.0.1", port, Quick());
  try {
    refused.Connect();
    ADD_FAILURE() << "connected";
  } catch (const rcon::ClientError& error) {
    EXPECT_EQ(error.failure(), rcon::Failure::kRefused) << error.what();
  }

  // A server that never answers the password, and Ctrl-C: the wait ends within a tenth of a second
  // or so, long before the time limit.
  ScriptedServer silent([](const Packet&, asio::ip::tcp::socket&) { return true; });
  rcon::ClientOptions options;
  options.timeout = 10000ms;
  const auto started = std::chrono::steady_clock::now();
  options.stop = [started] { return std::chrono::steady_clock::now() - started > 200ms; };
  rcon::Client client("127.0.0.1", silent.port(), options);
  client.Connect();
  try {
    client.Authenticate("pw");
    ADD_FAILURE() << "authenticated";
  } catch (const rcon::ClientError& error) {
    EXPECT_EQ(error.failure(), rcon::Failure::kStopped);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2000ms);
}

TEST(RconTarget, HostPortAsOperatorsWriteIt) {
  struct Case {
    const char* text;
    const char* host;  // nullptr: refused
    uint16_t port;
  };
  const Case cases[] = {
      {"127.0.0.1:27020", "127.0.0.1", 27020},
      {"localhost:1", "localhost", 1},
      {"[::1]:27020", "::1", 27020},
      {"game.example:65535", "game.example", 65535},
      {"127.0.0.1", nullptr, 0},
      {"127.0.0.1:", nullptr, 0},
      {"127.0.0.1:0", nullptr, 0},
      {"127.0.0.1:65536", nullptr, 0},
      {"127.0.0.1:27x", nullptr, 0},
      {":27020", nullptr, 0},
      {"::1:27020", nullptr, 0},
      {"[::1]27020", nullptr, 0},
      {"[::1:27020", nullptr, 0},
      {"127.0.0.1:-1", nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string why;
    const auto target = ParseHostPort(c.text, &why);
    if (c.host == nullptr) {
      EXPECT_FALSE(target);
      EXPECT_NE(why.find("expected HOST:PORT"), std::string::npos);
      continue;
    }
    ASSERT_TRUE(target) << why;
    EXPECT_EQ(target->host, c.host);
    EXPECT_EQ(target->port, c.port);
  }
}

TEST(RconTarget, PasswordFileHoldsOneLine) {
  EXPECT_EQ(PasswordFromFileText("secret\n", "f"), "secret");
  EXPECT_EQ(PasswordFromFileText("secret\r\n", "f"), "secret");
  EXPECT_EQ(PasswordFromFileText("with space ", "f"), "with space ");
  for (const char* bad : {"", "\n", "one\ntwo\n"}) {
    EXPECT_THROW(PasswordFromFileText(bad, "f"), PasswordError) << bad;
  }
  EXPECT_THROW(PasswordFromFileText(std::string("a\0b", 3), "f"), PasswordError);
}

TEST(WatchDuration, AsOperatorsWriteThem) {
  struct Case {
    const char* text;
    long long ms;  // -1: refused
    const char* shown;
  };
  const Case cases[] = {
      {"30s", 30000, "30s"},
      {"10m", 600000, "10m"},
      {"1h", 3600000, "1h"},
      {"1h30m", 5400000, "1h30m"},
      {"2d", 172800000, "2d"},
      {"45", 45000, "45s"},
      {"250ms", 250, "250ms"},
      {"", -1, ""},
      {"10x", -1, ""},
      {"s", -1, ""},
      {"1.5h", -1, ""},
      {"-5s", -1, ""},
      {"99999999999999999999s", -1, ""},
      {"10 s", -1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto parsed = ParseDuration(c.text);
    if (c.ms < 0) {
      EXPECT_FALSE(parsed);
      continue;
    }
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->count(), c.ms);
    EXPECT_EQ(FormatDuration(*parsed), c.shown);
  }
}

TEST(WatchPrometheus, LabelValuesEscapedAndTheFileReplacedWhole) {
  EXPECT_EQ(EscapeLabelValue("a\\b\"c\nd'Ã©"), "a\\\\b\\\"c\\nd'Ã©");
  PrometheusCensus census;
  // Two classes that the dump writes alike are one series, summed; the limit's key is the dump's
  // form too, so that count and limit join on `key`.
  census.counts = {{"Blueprint'/Game/A\\B/A.A'", 3},
                   {"Blueprint'/Game/Gr??n.Gr??n'", 2},
                   {"Blueprint'/Game/Gr??n.Gr??n'", 5}};
  census.limits = {{"Blueprint'/Game/Q\"/Q.Q'", 2},
                   {"Blueprint'/Game/Gr\xC3\xA4n.Gr\xC3\xA4n'", 6},
                   {"Blueprint'/Game/Gr\xC3\xBCn.Gr\xC3\xBCn'", 7}};
  census.last_good = 1796737353;
  census.success = false;
  const std::string text = PrometheusText(census);
  EXPECT_NE(text.find("\nkestrovar_class_creatures{key=\"Blueprint'/Game/A\\\\B/A.A'\"} 3\n"),
            std::string::npos);
  EXPECT_NE(text.find("\nkestrovar_class_creatures{key=\"Blueprint'/Game/Gr??n.Gr??n'\"} 7\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\nkestrovar_class_limit{key=\"Blueprint'/Game/Q\\\"/Q.Q'\"} 2\n"),
            std::string::npos);
  EXPECT_NE(text.find("\nkestrovar_class_limit{key=\"Blueprint'/Game/Gr??n.Gr??n'\"} 6\n"),
            std::string::npos)
      << text;
  // No series twice: Prometheus rejects a file that repeats one.
  const auto times = [&](const std::string& what) {
    int found = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++found;
    return found;
  };
  EXPECT_EQ(times("\nkestrovar_class_creatures{key=\"Blueprint'/Game/Gr??n.Gr??n'\"}"), 1);
  EXPECT_EQ(times("\nkestrovar_class_limit{key=\"Blueprint'/Game/Gr??n.Gr??n'\"}"), 1);
  EXPECT_EQ(text.find("_count"), std::string::npos) << text;
  EXPECT_NE(text.find("\nkestrovar_last_census_timestamp_seconds 1796737353\n"), std::string::npos);
  EXPECT_NE(text.find("\nkestrovar_census_success 0\n"), std::string::npos);
  // An empty world's census: each class known from earlier censuses or from the limits is 0,
  // so that the join of count and limit on `key` still finds it.
  PrometheusCensus empty;
  empty.known = {"Blueprint'/Game/A.A'"};
  empty.limits = {{"Blueprint'/Game/Gr\xC3\xBCn.Gr\xC3\xBCn'", 7}};
  empty.last_good = 1796737353;
  empty.success = true;
  const std::string zeros = PrometheusText(empty);
  EXPECT_NE(zeros.find("\nkestrovar_class_creatures{key=\"Blueprint'/Game/A.A'\"} 0\n"),
            std::string::npos)
      << zeros;
  EXPECT_NE(zeros.find("\nkestrovar_class_creatures{key=\"Blueprint'/Game/Gr??n.Gr??n'\"} 0\n"),
            std::string::npos)
      << zeros;
  // No census yet: no time at all, rather than 0.
  EXPECT_EQ(PrometheusText({}).find("\nkestrovar_last_census_timestamp_seconds "),
            std::string::npos);

  namespace fs = std::filesystem;
  const fs::path folder = fs::current_path() / "prometheus-files";
  fs::remove_all(folder);
  fs::create_directories(folder);
  const fs::path file = folder / "kestrovar.prom";
  const auto read = [](const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  EXPECT_EQ(PrometheusFileProblem(file), "");
  ReplaceFileAtomically(file, "one\n");
  EXPECT_EQ(PrometheusFileProblem(file), "");
  ReplaceFileAtomically(file, text);
  EXPECT_EQ(read(file), text);
  EXPECT_FALSE(fs::exists(PrometheusTemporary(file)));

  // Whether a file is ours is told by the list beside it, not by its first line: a foreign file
  // that begins as ours does, and an edit of ours that keeps its size, are left as they are.
  const struct {
    const char* name;
    std::string text;
  } foreign[] = {
      {"begins as ours", text},
      {"node's", "# HELP node_load1 1m load average.\nnode_load1 0.5\n"},
  };
  for (const auto& f : foreign) {
    SCOPED_TRACE(f.name);
    const fs::path other = folder / "other.prom";
    std::ofstream(other, std::ios::binary) << f.text;
    EXPECT_NE(PrometheusFileProblem(other).find("did not write it"), std::string::npos);
    EXPECT_THROW(ReplaceFileAtomically(other, "x\n"), std::exception);
    EXPECT_EQ(read(other), f.text);
    fs::remove(other);
  }
  std::string edited = text;
  edited[edited.size() - 2] = edited[edited.size() - 2] == '0' ? '1' : '0';
  std::ofstream(file, std::ios::binary) << edited;
  EXPECT_NE(PrometheusFileProblem(file).find("changed"), std::string::npos);
  EXPECT_THROW(ReplaceFileAtomically(file, text), std::exception);
  EXPECT_EQ(read(file), edited);
}

// A server that stays away is asked again after 1 s, then twice as long each time, at most a
// minute: not hammered, and not left for hours.
TEST(WatchRetry, BacksOffByDoublingUpToAMinute) {
  std::chrono::milliseconds wait{0};
  std::vector<long long> seconds;
  for (int i = 0; i < 9; ++i) {
    wait = NextRetry(wait);
    seconds.push_back(wait.count() / 1000);
  }
  EXPECT_EQ(seconds, (std::vector<long long>{1, 2, 4, 8, 16, 32, 60, 60, 60}));
}

// `watch` reads DIR once and adds each census as it comes, appending to census.csv and carrying its
// table's figures on: after each census, DIR's report is what a fresh report of DIR writes, through
// a class missing from a census, an empty world, a census from when the clocks went back (out of
// time order) and a limit edited between censuses.
TEST(WatchReport, WhatItAddsIsWhatAFreshReportWrites) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::current_path() / "watch-report";
  fs::remove_all(dir);
  fs::create_directories(dir / "fresh");
  const auto read = [](const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const fs::path config = dir / "config.json";
  std::ofstream(config, std::ios::binary) << "{\"Max_Dino_Counts\": {\"A\": 2}}";
  // A census stored before the watch starts is read from DIR.
  std::ofstream(dir / DumpFileName(1796737353 - 600), std::ios::binary) << "A. Num: 2\n";
  WatchHistory history(dir);
  const struct {
    int at;  // seconds after the start
    const char* census;
    const char* limit;  // the configuration's limit of A from this census on
  } censuses[] = {
      {0, "A. Num: 1\nB. Num: 3\n", "2"},
      {600, "A. Num: 2\n", "2"},
      {1200, "", "2"},
      {300, "A. Num: 5\nB. Num: 1\n", "2"},
      {1800, "A. Num: 3\nB. Num: 2\n", "3"},
      {2400, "A. Num: 4\nB. Num: 9\n", "3"},
  };
  for (const auto& c : censuses) {
    SCOPED_TRACE(c.at);
    std::ofstream(config, std::ios::binary) << "{\"Max_Dino_Counts\": {\"A\": " << c.limit << "}}";
    int later = 0;
    const auto name = StoreCensus(dir, 1796737353 + c.at, c.census, later);
    ASSERT_TRUE(name.has_value());
    history.Add(*name, c.census);
    testing::internal::CaptureStdout();
    UpdateWatchReport(dir, config.string(), history);
    testing::internal::GetCapturedStdout();
    ReportOptions fresh;
    fresh.inputs = {dir.string()};
    fresh.config = config.string();
    fresh.out_dir = (dir / "fresh").string();
    std::ostringstream ignored;
    RunReport(fresh, ignored);
    EXPECT_EQ(read(dir / "census.csv"), read(dir / "fresh" / "census.csv"));
    EXPECT_EQ(read(dir / "report.txt"), read(dir / "fresh" / "report.txt"));
  }
  EXPECT_NE(read(dir / "report.txt").find("7 censuses from 7 files"), std::string::npos)
      << read(dir / "report.txt");
}

// `rcon`'s exit code: 1 for a reply that says the command failed, for scripts.
TEST(RconReply, FailureRepliesAreTold) {
  const struct {
    const char* reply;
    bool failed;
  } cases[] = {
      {"Kestrovar: Failed to reload config", true},
      {"Kestrovar: Failed to reload config\n", true},
      {"Unknown command: kvar.nosuch", true},
      {"Kestrovar: Reloaded config", false},
      {"", false},  // an empty world's census
      {"Blueprint'/Game/Failed/Failed.Failed'. Num: 1\n", false},
      {"Blueprint'/Game/A/A.A'. Num: 1\nKestrovar: Failed\n", false},
  };
  for (const auto& c : cases) EXPECT_EQ(ReplySaysFailed(c.reply), c.failed) << c.reply;
}

// The clocks go back: a local time comes again, and its name may be taken. The census goes under
// the next free name; nothing is replaced, nothing lost.
TEST(WatchCensusFile, ARepeatedLocalTimeLosesNoCensus) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::current_path() / "census-files";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::time_t when = 1796737353;
  int later = -1;
  EXPECT_EQ(StoreCensus(dir, when, "A. Num: 1\n", later), DumpFileName(when));
  EXPECT_EQ(later, 0);
  EXPECT_EQ(StoreCensus(dir, when, "A. Num: 2\n", later), DumpFileName(when + 1));
  EXPECT_EQ(later, 1);
  EXPECT_EQ(StoreCensus(dir, when, "A. Num: 3\n", later), DumpFileName(when + 2));
  std::ifstream first(dir / DumpFileName(when), std::ios::binary);
  // The first census is left as it was (CR LF line ends on Windows, as the plug-in writes).
  std::string text(std::istreambuf_iterator<char>(first), {});
  std::erase(text, '\r');
  EXPECT_EQ(text, "A. Num: 1\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3);
}

}  // namespace
