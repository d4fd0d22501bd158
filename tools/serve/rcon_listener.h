#pragma once

// The RCON listener of `kestrovar serve`: TCP connections that authenticate with the password and
// then send commands. Everything runs on the io_context's thread, which is the game thread: a
// command is run as soon as its packet is whole, in the order packets arrive.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace asio {
class io_context;
}

namespace rcon {

struct ListenerOptions {
  std::string bind_address = "127.0.0.1";
  uint16_t port = 0;  // 0: any free port (see Listener::port)
  std::string password;
  int max_connections = 8;
  // A connection that has not authenticated by then is closed.
  std::chrono::milliseconds auth_timeout{10000};
  // A client that lets this much of its replies pile up unread is closed.
  std::size_t max_unsent_bytes = 1 << 20;
};

// Runs one command on the game thread; returns the texts of the replies it produced.
using CommandRunner = std::function<std::vector<std::string>(std::string_view command, int32_t id)>;
// One line about a connection: accepted, authenticated, closed and why.
using LogLine = std::function<void(std::string_view line)>;

class Listener {
 public:
  // Binds and listens at once; a bad address or a port in use throws std::runtime_error.
  Listener(asio::io_context& io, ListenerOptions options, CommandRunner run, LogLine log);
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  uint16_t port() const;
  std::string address() const;  // "ADDR:PORT" as bound
  std::size_t connections() const;
  // Stops accepting and drops every connection.
  void Close();

  struct Hub;

 private:
  std::shared_ptr<Hub> hub_;
};

}  // namespace rcon
