#pragma once

// A small blocking RCON client for the tests, with a time limit on every wait so that nothing can
// hang: it runs its own io_context on the calling thread (a test's client thread).

#include <asio.hpp>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "tools/common/rcon_packets.h"

class TestClient {
 public:
  explicit TestClient(uint16_t port);

  void SendBytes(std::string_view bytes);
  void Send(int32_t id, int32_t type, std::string_view body);
  // The next packet from the server; nullopt once the server has closed the connection. A wait
  // longer than the time limit fails the test and returns nullopt.
  std::optional<rcon::Packet> Receive();
  // True when the server closes the connection (after any packets still on their way).
  bool ClosedByServer();

  // Authenticates; true when the server accepted the password.
  bool Authenticate(std::string_view password, int32_t id = 1);
  // A command, its reply reassembled as clients do: an empty response-value request after it,
  // whose mirror marks the end.
  std::string Command(std::string_view text, int32_t id);
  void Close();

 private:
  // Waits for more bytes; false at the end of the stream (or the time limit).
  bool ReadMore();

  asio::io_context io_;
  asio::ip::tcp::socket socket_;
  rcon::PacketReader reader_;
  std::deque<rcon::Packet> received_;
  std::chrono::milliseconds limit_{5000};
};
