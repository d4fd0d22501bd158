// `kestrovar serve` as a live server: RCON clients over TCP, standard input and, with --realtime,
// the game clock on the wall clock. One io_context on the game thread serves them all, so a
// client's command runs between two input lines, never during one.

#include <asio.hpp>
#include <chrono>
#include <csignal>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "devserver/control/server.h"
#include "tools/common/output.h"
#include "tools/serve/rcon_listener.h"
#include "tools/serve/serve_options.h"
#include "tools/serve/stop_signal.h"

namespace {

using Clock = std::chrono::steady_clock;

// Game time moves in steps no longer than this, so that whatever lives on the clock sees it pass
// the way it would in a running game even after a slow command held the loop up.
constexpr double kLongestStepSeconds = 0.25;
constexpr auto kClockTick = std::chrono::milliseconds(100);

// Standard input, read on a thread of its own (a blocking read cannot share the game thread) and
// handed line by line to the game thread. The thread may outlive the session, blocked in its read:
// once the session has closed the channel, nothing it reads goes anywhere.
class InputChannel : public std::enable_shared_from_this<InputChannel> {
 public:
  using LineHandler = std::function<void(std::optional<std::string> line)>;  // nullopt: end

  InputChannel(asio::io_context& io, LineHandler handler)
      : io_(&io), handler_(std::move(handler)) {}

  void Start() {
    std::thread([self = shared_from_this()] {
      std::string line;
      while (std::getline(std::cin, line)) {
        if (!self->Post(line)) return;
      }
      self->Post(std::nullopt);
    }).detach();
  }

  void Close() {
    const std::lock_guard lock(mutex_);
    io_ = nullptr;
  }

 private:
  bool Post(std::optional<std::string> line) {
    const std::lock_guard lock(mutex_);
    if (io_ == nullptr) return false;
    asio::post(*io_, [self = shared_from_this(), line = std::move(line)] {
      if (self->io_ != nullptr) self->handler_(line);
    });
    return true;
  }

  std::mutex mutex_;
  asio::io_context* io_;
  LineHandler handler_;
};

// Moves the game clock on by the wall-clock time that passed, at every tick.
class WallClock {
 public:
  explicit WallClock(asio::io_context& io) : timer_(io), last_(Clock::now()) { Schedule(); }
  void Stop() { timer_.cancel(); }

 private:
  void Schedule() {
    timer_.expires_after(kClockTick);
    timer_.async_wait([this](const asio::error_code& error) {
      if (error) return;
      const Clock::time_point now = Clock::now();
      double elapsed = std::chrono::duration<double>(now - last_).count();
      last_ = now;
      try {
        while (elapsed > 0) {
          const double step = elapsed < kLongestStepSeconds ? elapsed : kLongestStepSeconds;
          devserver::Advance(step);
          elapsed -= step;
        }
      } catch (const std::exception& problem) {
        PrintLine("error: ", problem.what());
      }
      Schedule();
    });
  }

  asio::steady_timer timer_;
  Clock::time_point last_;
};

std::vector<std::string> RunRconCommand(std::string_view command, int32_t id) {
  std::vector<std::string> texts;
  for (devserver::RconReply& reply : devserver::RconRequest(command, id)) {
    texts.push_back(std::move(reply.text));
  }
  return texts;
}

}  // namespace

void RunLiveSession(const ServeOptions& options, const std::string& plugin) {
  asio::io_context io;
  const auto guard = asio::make_work_guard(io);
  bool ended = false;
  auto end_session = [&] {
    ended = true;
    io.stop();
  };

  std::optional<rcon::Listener> listener;
  if (options.rcon_listen) {
    rcon::ListenerOptions listen;
    listen.bind_address = options.rcon_bind;
    listen.port = static_cast<uint16_t>(options.rcon_port);
    listen.password = options.rcon_password;
    listen.max_connections = options.rcon_max_connections;
    listener.emplace(io, listen, RunRconCommand, [](std::string_view line) { PrintError(line); });
    PrintError("rcon: listening on " + listener->address());
  }

  asio::signal_set signals(io, SIGINT, SIGTERM);
#if defined(SIGBREAK)
  // Ctrl-Break in a Windows console.
  signals.add(SIGBREAK);
#endif
  signals.async_wait([&](const asio::error_code& error, int signal) {
    if (error) return;
    PrintError(std::string("kestrovar serve: ") + StopSignalName(signal) + ", ending the session");
    end_session();
  });

  std::optional<WallClock> wall_clock;
  if (options.realtime) wall_clock.emplace(io);

  const bool interactive = StandardInputIsTerminal();
  const auto input = std::make_shared<InputChannel>(io, [&](std::optional<std::string> line) {
    if (ended) return;
    if (!line) {
      // Without a listener the input was the session; with one, clients may still come (a server
      // started with its input closed, under a service manager), so it runs on until a signal.
      if (!listener) {
        end_session();
      } else {
        PrintError("kestrovar serve: end of input; serving RCON until SIGINT or SIGTERM");
      }
      return;
    }
    if (!RunInputLine(options, plugin, std::move(*line))) {
      end_session();
    } else if (interactive) {
      PrintPrompt();
    }
  });
  if (interactive) {
    PrintBanner();
    PrintPrompt();
  }
  input->Start();

  io.run();

  input->Close();
  if (wall_clock) wall_clock->Stop();
  asio::error_code ignored;
  signals.cancel(ignored);
  if (listener) listener->Close();
}
