#include "tools/rcon/rcon_client.h"

#include <algorithm>
#include <array>
#include <asio.hpp>
#include <utility>

namespace rcon {

namespace {

using Clock = std::chrono::steady_clock;

// What an asynchronous call left behind. Shared with its handler, which may still run after the
// caller gave up waiting.
struct Outcome {
  bool done = false;
  asio::error_code error;
  std::size_t size = 0;
  asio::ip::tcp::resolver::results_type endpoints;
};

std::string Seconds(std::chrono::milliseconds duration) {
  const long long ms = duration.count();
  if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
  return std::to_string(ms) + " ms";
}

}  // namespace

struct Client::Io {
  asio::io_context context;
  asio::ip::tcp::socket socket{context};
  asio::ip::tcp::resolver resolver{context};
  std::array<char, 16384> incoming{};
  bool open = false;

  enum class Waited { kDone, kTimedOut, kStopped };

  // Runs the handlers until the call is done, the deadline passes or a stop is asked for, looking
  // at the stop callback every tenth of a second.
  Waited RunUntil(const Outcome& outcome, Clock::time_point deadline,
                  const std::function<bool()>& stop) {
    while (!outcome.done) {
      if (stop && stop()) return Waited::kStopped;
      const auto now = Clock::now();
      if (now >= deadline) return Waited::kTimedOut;
      context.restart();
      context.run_for(std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(100)));
    }
    return Waited::kDone;
  }

  void Shut() {
    asio::error_code ignored;
    if (socket.is_open()) {
      socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
      socket.close(ignored);
    }
    resolver.cancel();
    open = false;
    // Handlers of the calls just cancelled that are ready run now; their outcomes are shared, so
    // the rest may run whenever.
    context.restart();
    context.poll();
  }
};

Client::Client(std::string host, uint16_t port, ClientOptions options)
    : host_(std::move(host)),
      port_(port),
      options_(std::move(options)),
      io_(std::make_unique<Io>()) {}

Client::~Client() { Close(); }

std::string Client::where() const {
  const std::string host = host_.find(':') != std::string::npos ? "[" + host_ + "]" : host_;
  return host + ":" + std::to_string(port_);
}

bool Client::connected() const { return io_->open; }

void Client::Close() {
  if (io_) io_->Shut();
  received_.clear();
  reader_ = PacketReader(kMaxReplyPacketSize);
}

void Client::Connect() {
  Close();
  const auto deadline = Clock::now() + options_.timeout;
  const auto wait = [&](const std::shared_ptr<Outcome>& outcome, const std::string& what) {
    const Io::Waited waited = io_->RunUntil(*outcome, deadline, options_.stop);
    if (waited == Io::Waited::kDone) return;
    io_->Shut();
    if (waited == Io::Waited::kStopped) throw ClientError(Failure::kStopped, "stopped");
    throw ClientError(Failure::kTimedOut, what);
  };

  auto resolved = std::make_shared<Outcome>();
  io_->resolver.async_resolve(
      host_, std::to_string(port_),
      [resolved](const asio::error_code& error, asio::ip::tcp::resolver::results_type results) {
        resolved->error = error;
        resolved->endpoints = std::move(results);
        resolved->done = true;
      });
  wait(resolved,
       "cannot find the host " + host_ + ": no answer within " + Seconds(options_.timeout));
  if (resolved->error || resolved->endpoints.empty()) {
    throw ClientError(Failure::kNoSuchHost,
                      "cannot find the host " + host_ + ": " +
                          (resolved->error ? resolved->error.message() : "it has no address"));
  }

  auto connected = std::make_shared<Outcome>();
  asio::async_connect(io_->socket, resolved->endpoints,
                      [connected](const asio::error_code& error, const asio::ip::tcp::endpoint&) {
                        connected->error = error;
                        connected->done = true;
                      });
  wait(connected, "no answer from " + where() + " within " + Seconds(options_.timeout) +
                      " (a firewall, or a server that is not up)");
  if (connected->error) {
    io_->Shut();
    if (connected->error == asio::error::connection_refused) {
      throw ClientError(Failure::kRefused,
                        where() +
                            " refused the connection: nothing listens there (is the server "
                            "up, with RCON on that port?)");
    }
    throw ClientError(Failure::kLost,
                      "cannot connect to " + where() + ": " + connected->error.message());
  }
  asio::error_code ignored;
  io_->socket.set_option(asio::ip::tcp::no_delay(true), ignored);
  io_->open = true;
}

void Client::Send(Clock::time_point deadline, std::string bytes) {
  if (!io_->open) throw ClientError(Failure::kLost, "not connected to " + where());
  auto sent = std::make_shared<Outcome>();
  auto data = std::make_shared<std::string>(std::move(bytes));
  asio::async_write(io_->socket, asio::buffer(*data),
                    [sent, data](const asio::error_code& error, std::size_t) {
                      sent->error = error;
                      sent->done = true;
                    });
  const Io::Waited waited = io_->RunUntil(*sent, deadline, options_.stop);
  if (waited != Io::Waited::kDone) {
    io_->Shut();
    if (waited == Io::Waited::kStopped) throw ClientError(Failure::kStopped, "stopped");
    throw ClientError(Failure::kTimedOut,
                      where() + " took no data for " + Seconds(options_.timeout));
  }
  if (sent->error) {
    io_->Shut();
    throw ClientError(Failure::kLost,
                      "the connection to " + where() + " broke: " + sent->error.message());
  }
}

Packet Client::Receive(Clock::time_point deadline, const std::string& waiting_for) {
  while (received_.empty()) {
    if (!io_->open) throw ClientError(Failure::kLost, "not connected to " + where());
    // Bad bytes after the packets already returned: nothing more can be read on this connection.
    if (reader_.failed()) {
      io_->Shut();
      throw ClientError(Failure::kProtocol,
                        where() + " sent bytes that are no RCON packet: " + reader_.error());
    }
    auto read = std::make_shared<Outcome>();
    io_->socket.async_read_some(asio::buffer(io_->incoming),
                                [read](const asio::error_code& error, std::size_t size) {
                                  read->error = error;
                                  read->size = size;
                                  read->done = true;
                                });
    const Io::Waited waited = io_->RunUntil(*read, deadline, options_.stop);
    if (waited != Io::Waited::kDone) {
      io_->Shut();
      if (waited == Io::Waited::kStopped) throw ClientError(Failure::kStopped, "stopped");
      throw ClientError(Failure::kTimedOut, where() + ": " + waiting_for + " did not come within " +
                                                Seconds(options_.timeout));
    }
    if (read->error) {
      io_->Shut();
      throw ClientError(Failure::kLost,
                        read->error == asio::error::eof
                            ? where() + " closed the connection before " + waiting_for + " came"
                            : "the connection to " + where() + " broke before " + waiting_for +
                                  " came: " + read->error.message());
    }
    for (Packet& packet : reader_.Feed(std::string_view(io_->incoming.data(), read->size))) {
      received_.push_back(std::move(packet));
    }
    if (received_.empty() && reader_.failed()) {
      io_->Shut();
      throw ClientError(Failure::kProtocol,
                        where() + " sent bytes that are no RCON packet: " + reader_.error());
    }
  }
  Packet packet = std::move(received_.front());
  received_.pop_front();
  return packet;
}

void Client::Authenticate(std::string_view password) {
  const auto deadline = Clock::now() + options_.timeout;
  const int32_t id = next_id_++;
  Send(deadline, EncodePacket(id, kAuth, password));
  for (;;) {
    const Packet packet = Receive(deadline, "the answer to the password");
    // Some servers send an empty response-value packet before the answer.
    if (packet.type != kAuthResponse) continue;
    if (packet.id == -1) {
      io_->Shut();
      throw ClientError(Failure::kWrongPassword, where() + " refused the RCON password");
    }
    if (packet.id == id) return;
  }
}

std::string Client::Command(std::string_view command) {
  const auto deadline = Clock::now() + options_.timeout;
  const int32_t id = next_id_++;
  const int32_t end_id = next_id_++;
  Send(deadline, EncodePacket(id, kExecCommand, command));
  // The server answers requests in order: the mirror of this one comes after the last packet of
  // the command's reply.
  Send(deadline, EncodePacket(end_id, kResponseValue, ""));
  std::string reply;
  const std::string waiting_for = "the end of the reply to \"" + std::string(command) + "\"";
  for (;;) {
    Packet packet;
    try {
      packet = Receive(deadline, waiting_for);
    } catch (const ClientError& error) {
      if (error.failure() != Failure::kTimedOut || reply.empty()) throw;
      throw ClientError(Failure::kTimedOut,
                        std::string(error.what()) + " (" + std::to_string(reply.size()) +
                            " bytes of it came; the server did not answer the empty request "
                            "that marks a reply's end)");
    }
    if (packet.id == end_id) return reply;
    if (packet.id == id && packet.type == kResponseValue) reply += packet.body;
  }
}

}  // namespace rcon
