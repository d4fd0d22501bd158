#pragma once

// The client side of RCON, for `kestrovar rcon` and `kestrovar watch`: one connection, blocking
// calls, each bounded by a time limit, and a reply of any number of packets read to its end.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "tools/common/rcon_packets.h"

namespace rcon {

// Why a call failed, for the caller to decide what to do next: `watch` stops at a wrong password
// and connects again after anything else.
enum class Failure {
  kNoSuchHost,  // the host name resolves to no address
  kRefused,     // nothing listens on the port
  kTimedOut,    // no answer within the time limit
  kWrongPassword,
  kLost,      // the connection broke or the server closed it
  kProtocol,  // bytes that are no RCON packets
  kStopped,   // the stop callback asked to end the wait (Ctrl-C)
};

class ClientError : public std::runtime_error {
 public:
  ClientError(Failure failure, const std::string& what)
      : std::runtime_error(what), failure_(failure) {}
  Failure failure() const { return failure_; }

 private:
  Failure failure_;
};

struct ClientOptions {
  // Each of connecting, authenticating and one command's whole reply must be done within this.
  std::chrono::milliseconds timeout{10000};
  // Asked every tenth of a second while a call waits; true ends the wait with Failure::kStopped.
  std::function<bool()> stop;
};

// Game servers' replies may come in packets larger than the 4096 bytes clients send.
inline constexpr int32_t kMaxReplyPacketSize = 1 << 20;

class Client {
 public:
  Client(std::string host, uint16_t port, ClientOptions options = {});
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  // Resolves the host and connects; throws ClientError.
  void Connect();
  // Sends the password; throws ClientError (kWrongPassword when the server refuses it).
  void Authenticate(std::string_view password);
  // Runs a command and returns its whole reply: the bodies of every packet that answers it, up to
  // the answer to an empty response-value request sent right after it. Throws ClientError.
  std::string Command(std::string_view command);
  void Close();
  bool connected() const;

  // "HOST:PORT" as given, brackets around an IPv6 address.
  std::string where() const;

  struct Io;

 private:
  // The next packet; throws when the connection ends or the deadline passes first.
  Packet Receive(std::chrono::steady_clock::time_point deadline, const std::string& waiting_for);
  void Send(std::chrono::steady_clock::time_point deadline, std::string bytes);

  std::string host_;
  uint16_t port_;
  ClientOptions options_;
  std::unique_ptr<Io> io_;
  PacketReader reader_{kMaxReplyPacketSize};
  std::deque<Packet> received_;
  int32_t next_id_ = 1;
};

}  // namespace rcon
