#include "tools/watch/watch_command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <thread>

#include "tools/common/config_in_force.h"
#include "tools/common/dump_lines.h"
#include "tools/common/exit_codes.h"
#include "tools/common/files.h"
#include "tools/common/interruption.h"
#include "tools/common/output.h"
#include "tools/rcon/rcon_client.h"
#include "tools/rcon/rcon_command.h"
#include "tools/watch/census_file.h"
#include "tools/watch/duration.h"
#include "tools/watch/prometheus_text.h"
#include "tools/watch/watch_report.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kLongestInterval{7LL * 24 * 3600 * 1000};
// Failed censuses are tried again after 1 s, then twice as long each time, up to a minute.
constexpr milliseconds kFirstRetry{1000};
constexpr milliseconds kLongestRetry{60000};
constexpr const char* kCensusCommand = "kvar.dumpdinos";

milliseconds ShortestInterval() {
  if (const char* floor = std::getenv(kTestFloorVariable); floor != nullptr) {
    if (const auto shorter = ParseDuration(floor)) return *shorter;
  }
  return kShortestInterval;
}

std::string EveryError(const std::string& text) {
  const auto every = ParseDuration(text);
  if (!every) {
    return "expected a duration such as 30s, 10m, 1h or 1h30m, found \"" + text + "\"";
  }
  if (*every < ShortestInterval()) {
    return "at least " + FormatDuration(ShortestInterval()) +
           ", so that the censuses do not load the server; found " + text;
  }
  if (*every > kLongestInterval) return "at most 7d, found " + text;
  return {};
}

// "2026-12-08 14:05:10", local time.
std::string Stamp(std::time_t when) {
  const std::tm* local = std::localtime(&when);
  char text[32] = "";
  if (local != nullptr) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", local);
  return text;
}

std::string Now() { return Stamp(std::time(nullptr)); }

// Sleeps until `when`; false when Ctrl-C came first.
bool SleepUntil(Clock::time_point when) {
  for (;;) {
    if (StopRequested()) return false;
    const auto now = Clock::now();
    if (now >= when) return true;
    std::this_thread::sleep_for(std::min<Clock::duration>(when - now, milliseconds(100)));
  }
}

struct Census {
  std::vector<std::pair<std::string, uint32_t>> counts;  // each dumped key once
  uint64_t creatures = 0;
  // Keys that came more than once: classes whose letters outside ASCII the dump writes alike
  // ("Gr??n" for both "Grün" and "Grän"), counted together.
  std::vector<std::string> alike;
};

// The reply as a census; empty with `why` when it is no dump (the plug-in not loaded, say).
std::optional<Census> ReadCensus(const std::string& reply, std::string& why) {
  Census census;
  for (const NumberedDumpLine& line : ReadDumpLines(reply)) {
    if (line.read.form != DumpLineForm::kEntry) {
      std::string shown(line.text.substr(0, 80));
      why = "the reply to " + std::string(kCensusCommand) + " is no dump (line " +
            std::to_string(line.number) + ": \"" + shown + "\"); is the plug-in loaded?";
      return std::nullopt;
    }
    const auto same = std::find_if(census.counts.begin(), census.counts.end(),
                                   [&](const auto& count) { return count.first == line.read.key; });
    if (same == census.counts.end()) {
      census.counts.emplace_back(std::string(line.read.key), line.read.count);
    } else {
      same->second += line.read.count;
      if (std::find(census.alike.begin(), census.alike.end(), same->first) == census.alike.end()) {
        census.alike.push_back(same->first);
      }
    }
    census.creatures += line.read.count;
  }
  return census;
}

class Watch {
 public:
  Watch(const WatchOptions& options, HostPort target, std::string password)
      : options_(options),
        out_dir_(options.out_dir),
        password_(std::move(password)),
        client_(target.host, target.port, ClientOptions(options)) {}

  int Run();
  // What must hold before the first census: the folder, the Prometheus file, the configuration.
  bool Prepare();

 private:
  static rcon::ClientOptions ClientOptions(const WatchOptions& options) {
    rcon::ClientOptions client;
    client.timeout =
        milliseconds(std::max<long long>(1, std::llround(options.timeout_seconds * 1000)));
    client.stop = StopRequested;
    return client;
  }

  // One census; returns what was asked of the loop.
  enum class Outcome { kDone, kFailed, kNoDump, kWrongPassword, kStopped };
  Outcome TakeCensus();
  std::string FetchReply();
  void ReadConfig(bool at_start);
  void WritePrometheus();
  int Stop(int code);

  const WatchOptions& options_;
  fs::path out_dir_;
  std::string password_;
  rcon::Client client_;
  std::map<std::string, int32_t> limits_;
  bool config_warned_ = false;
  PrometheusCensus prometheus_;
  std::optional<WatchHistory> history_;  // DIR's censuses, read once
  std::string failure_;
  std::string chart_said_;
  int censuses_ = 0;
  int failures_in_a_row_ = 0;
};

bool Watch::Prepare() {
  std::error_code error;
  if (!options_.config.empty()) {
    std::string why;
    const auto text = ReadWholeFile(options_.config, &why, LineEnds::kAsTextStream);
    if (!text) {
      PrintError("kestrovar watch: cannot read the configuration " + options_.config + ": " + why);
      return false;
    }
    if (!ReadConfigInForce(*text).readable) {
      PrintError("kestrovar watch: the plug-in cannot read the configuration " + options_.config +
                 " (kestrovar check " + options_.config + " says why)");
      return false;
    }
    ReadConfig(true);
  }
  if (!options_.prometheus.empty()) {
    const fs::path folder = fs::path(options_.prometheus).parent_path();
    if (const std::string why = FolderProblem(folder.empty() ? fs::path(".") : folder);
        !why.empty()) {
      PrintError("kestrovar watch: --prometheus " + options_.prometheus + ": the folder " +
                 folder.string() + ": " + why);
      return false;
    }
    // Only a file this program wrote is replaced; the temporary one alike.
    if (const std::string why = PrometheusFileProblem(options_.prometheus); !why.empty()) {
      PrintError("kestrovar watch: --prometheus: " + why);
      return false;
    }
  }
  if (fs::exists(out_dir_, error) && !fs::is_directory(out_dir_, error)) {
    PrintError("kestrovar watch: --out " + out_dir_.string() + " is a file, not a folder");
    return false;
  }
  fs::create_directories(out_dir_, error);
  if (error) {
    PrintError("kestrovar watch: cannot make the folder " + out_dir_.string() + ": " +
               FileProblem(error));
    return false;
  }
  // The report's own files in DIR are replaced only while they are as a report wrote them.
  if (!CheckWatchReportFolder(out_dir_)) return false;
  history_.emplace(out_dir_);
  // The classes of DIR's censuses have a series from the first census on, 0 when it lacks them.
  for (const std::string& key : history_->censuses().keys) prometheus_.known.insert(key);
  return true;
}

// The limits as the plug-in would take them from the file now: the operator may edit it and run
// kvar.reload while the watch goes on. A file that stops being readable leaves the last limits.
void Watch::ReadConfig(bool at_start) {
  if (options_.config.empty()) return;
  std::string why;
  const auto text = ReadWholeFile(options_.config, &why, LineEnds::kAsTextStream);
  const ConfigInForce config = text ? ReadConfigInForce(*text) : ConfigInForce{};
  if (!config.readable) {
    if (!config_warned_ && !at_start) {
      PrintLine(Now() + " cannot read the configuration " + options_.config +
                (text ? std::string(" as the plug-in does") : ": " + why) +
                "; the limits read before stay in use");
    }
    config_warned_ = true;
    return;
  }
  config_warned_ = false;
  limits_.clear();
  for (const auto& [key, limit] : config.limits) {
    if (limit >= 0) limits_[key] = limit;
  }
}

void Watch::WritePrometheus() {
  if (options_.prometheus.empty()) return;
  prometheus_.limits = limits_;
  try {
    ReplaceFileAtomically(options_.prometheus, PrometheusText(prometheus_));
  } catch (const std::exception& error) {
    PrintLine(Now() + " the Prometheus file was not written: ", ErrorText(error));
  }
}

std::string Watch::FetchReply() {
  // A connection kept from the last census may have been dropped by a server that restarted: one
  // fresh connection is tried at once before the census counts as failed.
  if (client_.connected()) {
    try {
      return client_.Command(kCensusCommand);
    } catch (const rcon::ClientError& error) {
      if (error.failure() != rcon::Failure::kLost) throw;
    }
  }
  client_.Connect();
  client_.Authenticate(password_);
  return client_.Command(kCensusCommand);
}

Watch::Outcome Watch::TakeCensus() {
  std::string reply;
  try {
    reply = FetchReply();
  } catch (const rcon::ClientError& error) {
    failure_ = error.what();
    client_.Close();
    if (error.failure() == rcon::Failure::kStopped) return Outcome::kStopped;
    if (error.failure() == rcon::Failure::kWrongPassword) return Outcome::kWrongPassword;
    return Outcome::kFailed;
  }
  const std::time_t when = std::time(nullptr);
  if (failures_in_a_row_ > 0) {
    PrintLine(Stamp(when) + " connected again to " + client_.where() + " after " +
              std::to_string(failures_in_a_row_) + " failed attempt(s)");
    failures_in_a_row_ = 0;
  }
  std::optional<Census> census = ReadCensus(reply, failure_);
  if (!census) return Outcome::kNoDump;
  ++censuses_;
  ReadConfig(false);

  std::string stored;
  try {
    int later = 0;
    const std::optional<std::string> name = StoreCensus(out_dir_, when, reply, later);
    if (name) history_->Add(*name, reply);
    stored = !name ? "NOT stored: " + DumpFileName(when) +
                         " and the names of the hour after it are taken; they are left as they are"
             : later == 0 ? "stored as " + *name
                          : "stored as " + *name + " (" + DumpFileName(when) +
                                " is taken: the clocks went back, or it is another's file)";
  } catch (const std::exception& error) {
    stored = "NOT stored: " + ErrorText(error);
  }
  // Each dumped key once, with the limit of the first configuration key written as it, as the
  // report and the Prometheus file take it.
  std::map<std::string, int32_t> dumped_limits;
  for (const auto& [key, limit] : limits_) dumped_limits.emplace(DumpForm(key), limit);
  int at_limit = 0;
  for (const auto& [class_key, count] : census->counts) {
    const auto limit = dumped_limits.find(class_key);
    if (limit != dumped_limits.end() && count >= static_cast<uint32_t>(limit->second)) ++at_limit;
  }
  std::string alike;
  for (const std::string& key : census->alike) {
    alike += "; " + key +
             " is more than one class (a dump writes each byte outside ASCII as \"?\"): their "
             "counts are summed";
  }
  for (const auto& [key, count] : prometheus_.counts) prometheus_.known.insert(key);
  prometheus_.counts = census->counts;
  prometheus_.last_good = when;
  prometheus_.success = true;
  WritePrometheus();
  const std::string chart = UpdateWatchReport(out_dir_, options_.config, *history_);
  // Said once the files are up to date.
  PrintLine(Stamp(when) + " census " + std::to_string(censuses_) + ": " +
            std::to_string(census->counts.size()) + " classes, " +
            std::to_string(census->creatures) + " creatures" +
            (options_.config.empty() ? std::string()
                                     : ", " + std::to_string(at_limit) + " at their limit") +
            "; " + stored + alike);
  // Why no chart was drawn, once, and again only when the reason changes (gnuplot installed since).
  if (!chart.empty() && chart != chart_said_) {
    PrintLine("  " + chart);
    chart_said_ = chart;
  }
  return Outcome::kDone;
}

int Watch::Stop(int code) {
  client_.Close();
  if (code == kExitInterrupted) {
    PrintError(censuses_ == 0
                   ? "kestrovar watch: stopped by Ctrl-C before its first census; nothing stored"
                   : "kestrovar watch: stopped by Ctrl-C after " + std::to_string(censuses_) +
                         " census(es); " + out_dir_.string() + " holds them and their report");
  }
  return code;
}

int Watch::Run() {
  const milliseconds every = *ParseDuration(options_.every);
  milliseconds retry{0};
  auto next = Clock::now();
  PrintLine(Now() + " watching " + client_.where() + " every " + FormatDuration(every) +
            "; censuses go to " + out_dir_.string() + " (Ctrl-C stops)");
  for (;;) {
    if (!SleepUntil(next)) return Stop(kExitInterrupted);
    const auto started = Clock::now();
    const Outcome outcome = TakeCensus();
    switch (outcome) {
      case Outcome::kStopped:
        return Stop(kExitInterrupted);
      case Outcome::kWrongPassword:
        prometheus_.success = false;
        WritePrometheus();
        PrintError("kestrovar watch: " + failure_ + "; stopping (check the password)");
        return Stop(kExitUnusableInput);
      case Outcome::kDone:
        retry = milliseconds(0);
        next = started + every;
        break;
      case Outcome::kNoDump:
        // The server answers; the next census comes at the usual time.
        retry = milliseconds(0);
        prometheus_.success = false;
        WritePrometheus();
        PrintLine(Now() + " census failed: " + failure_);
        next = started + every;
        break;
      case Outcome::kFailed:
        ++failures_in_a_row_;
        retry = NextRetry(retry);
        prometheus_.success = false;
        WritePrometheus();
        PrintLine(Now() + " census failed: " + failure_ + "; trying again in " +
                  FormatDuration(retry));
        next = Clock::now() + retry;
        break;
    }
  }
}

}  // namespace

milliseconds NextRetry(milliseconds last) {
  return last.count() == 0 ? kFirstRetry : std::min(last * 2, kLongestRetry);
}

CLI::App* AddWatchCommand(CLI::App& app, WatchOptions& options) {
  CLI::App* watch = app.add_subcommand(
      "watch",
      "Take a census of a live server over RCON (kvar.dumpdinos) at each interval, store each as "
      "a dump file in DIR (named as the plug-in names its own) and keep DIR's report, CSV and "
      "chart up to date; one line per census. Ctrl-C stops it (exit 130); a wrong password stops "
      "it at once (exit 2).");
  watch->add_option("ADDRESS", options.address, "The server's RCON address, HOST:PORT")
      ->required()
      ->check(CLI::Validator(HostPortError, "HOST:PORT"));
  watch
      ->add_option("--every", options.every,
                   "Time between censuses: 30s, 10m, 1h, 1h30m (at least 10s, at most 7d)")
      ->required()
      ->check(CLI::Validator(EveryError, "DURATION"));
  watch->add_option("--out", options.out_dir, "The folder for the dump files and the report")
      ->required()
      ->type_name("DIR");
  watch
      ->add_option("--config", options.config,
                   "The server's config.json: its limits go into the report and the Prometheus "
                   "file (read again at each census)")
      ->type_name("FILE");
  watch
      ->add_option("--prometheus", options.prometheus,
                   "Also write each census to FILE in Prometheus's text format (replaced whole "
                   "each time), for node_exporter's textfile collector")
      ->type_name("FILE");
  AddPasswordOptions(*watch, options.password);
  watch
      ->add_option("--timeout", options.timeout_seconds,
                   "Seconds to wait for the connection, the password's answer and a census's "
                   "reply, each (default 10)")
      ->check(CLI::Validator(TimeoutError, "SECONDS"));
  return watch;
}

int RunWatch(const WatchOptions& options) {
  std::string password;
  try {
    password = ResolvePassword(options.password, "kestrovar watch");
  } catch (const PasswordError& error) {
    PrintError(std::string("kestrovar watch: ") + error.what());
    return error.exit_code();
  }
  const std::optional<HostPort> target = ParseHostPort(options.address);
  if (!target || !ParseDuration(options.every)) return kExitUsage;
  Watch watch(options, *target, std::move(password));
  if (!watch.Prepare()) return kExitUnusableInput;
  ClearStopRequest();
  CatchInterruption();
  return watch.Run();
}
