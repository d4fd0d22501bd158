#include "tools/serve/rcon_listener.h"

#include <array>
#include <asio.hpp>
#include <deque>
#include <exception>
#include <set>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "tools/common/rcon_packets.h"

namespace rcon {

class Connection;

struct Listener::Hub : std::enable_shared_from_this<Listener::Hub> {
  Hub(asio::io_context& io, ListenerOptions options_in, CommandRunner run_in, LogLine log_in)
      : acceptor(io),
        accept_retry(io),
        options(std::move(options_in)),
        run(std::move(run_in)),
        log(std::move(log_in)) {}

  void Accept();
  void Close();
  asio::ip::tcp::endpoint BindEndpoint();
  void Forget(const std::shared_ptr<Connection>& connection) { connections.erase(connection); }

  asio::ip::tcp::acceptor acceptor;
  // After a failed accept, the next waits a little: a failure that lasts (no file handles left)
  // would otherwise take the game thread in a loop of retries.
  asio::steady_timer accept_retry;
  ListenerOptions options;
  CommandRunner run;
  LogLine log;
  std::set<std::shared_ptr<Connection>> connections;
  // Filled by the accept itself: the peer's address as it connected, which a peer that has reset
  // the connection by the time the accept completes no longer gives.
  asio::ip::tcp::endpoint accepted_peer;
  bool closed = false;
};

namespace {

constexpr std::chrono::milliseconds kAcceptRetryPause{100};

std::string Endpoint(const asio::ip::tcp::endpoint& endpoint) {
  const asio::ip::address address = endpoint.address();
  const std::string host = address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
  return host + ":" + std::to_string(endpoint.port());
}

}  // namespace

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(std::shared_ptr<Listener::Hub> hub, asio::ip::tcp::socket socket, std::string peer)
      : hub_(std::move(hub)),
        socket_(std::move(socket)),
        auth_timer_(socket_.get_executor()),
        peer_(std::move(peer)) {}

  void Start() {
    Log("connected");
    auth_timer_.expires_after(hub_->options.auth_timeout);
    auth_timer_.async_wait([self = shared_from_this()](const asio::error_code& error) {
      if (error || self->authenticated_ || self->dropped_) return;
      self->Drop("not authenticated within " +
                 std::to_string(self->hub_->options.auth_timeout.count()) + " ms");
    });
    Read();
  }

  // Closes at once, unsent replies included.
  void Drop(const std::string& reason) {
    if (dropped_) return;
    dropped_ = true;
    Log("closed: " + reason);
    asio::error_code ignored;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    auth_timer_.cancel();
    hub_->Forget(shared_from_this());
  }

 private:
  void Log(const std::string& what) { hub_->log("rcon: " + peer_ + " " + what); }

  void Read() {
    socket_.async_read_some(
        asio::buffer(incoming_),
        [self = shared_from_this()](const asio::error_code& error, std::size_t size) {
          if (self->dropped_) return;
          if (error) {
            self->PeerGone(error);
            return;
          }
          self->Received(std::string_view(self->incoming_.data(), size));
        });
  }

  void PeerGone(const asio::error_code& error) {
    std::string reason = reader_.EndOfStreamError();
    if (reason.empty()) {
      reason = error == asio::error::eof ? "disconnected" : "connection lost: " + error.message();
    }
    Drop(reason);
  }

  void Received(std::string_view bytes) {
    for (const Packet& packet : reader_.Feed(bytes)) {
      Handle(packet);
      if (dropped_ || closing_) return;
    }
    if (reader_.failed()) {
      // Packets that came whole before the bad bytes still get their replies.
      CloseAfterReplies(reader_.error());
      return;
    }
    Read();
  }

  void Handle(const Packet& packet) {
    if (packet.type == kAuth) {
      Authenticate(packet);
    } else if (!authenticated_) {
      Drop("sent a request before authenticating");
    } else if (packet.type == kExecCommand) {
      RunCommand(packet);
    } else {
      // An empty response-value request comes straight back: clients send it after a command to
      // learn where a reply of several packets ends.
      Send(EncodePacket(packet.id, kResponseValue, ""));
    }
  }

  void Authenticate(const Packet& packet) {
    const bool accepted = packet.body == hub_->options.password;
    // The answer alone, without an empty response-value packet before it: clients that take each
    // read for one packet would otherwise often get both in one read and see only the empty one.
    Send(EncodePacket(accepted ? packet.id : -1, kAuthResponse, ""));
    if (accepted) {
      if (!authenticated_) Log("authenticated");
      authenticated_ = true;
      auth_timer_.cancel();
      return;
    }
    Log("failed authentication");
    CloseAfterReplies("wrong password");
  }

  void RunCommand(const Packet& packet) {
    std::vector<std::string> replies;
    try {
      replies = hub_->run(packet.body, packet.id);
    } catch (const std::exception& error) {
      Log(std::string("command failed: ") + error.what());
    }
    // A client waits for an answer even when the command had nothing to say.
    if (replies.empty()) replies.emplace_back();
    for (const std::string& reply : replies) {
      for (std::string& bytes : EncodeReplyPackets(packet.id, reply)) Send(std::move(bytes));
    }
  }

  void Send(std::string bytes) {
    if (dropped_) return;
    unsent_bytes_ += bytes.size();
    outgoing_.push_back(std::move(bytes));
    if (unsent_bytes_ > hub_->options.max_unsent_bytes) {
      Drop("does not read its replies (" + std::to_string(unsent_bytes_) + " bytes unsent)");
      return;
    }
    if (!writing_) WriteNext();
  }

  // Each packet in a write of its own: some clients take each read for one packet.
  void WriteNext() {
    if (outgoing_.empty()) {
      writing_ = false;
      if (closing_) Drop(close_reason_);
      return;
    }
    writing_ = true;
    asio::async_write(socket_, asio::buffer(outgoing_.front()),
                      [self = shared_from_this()](const asio::error_code& error, std::size_t) {
                        if (self->dropped_) return;
                        if (error) {
                          self->Drop("connection lost: " + error.message());
                          return;
                        }
                        self->unsent_bytes_ -= self->outgoing_.front().size();
                        self->outgoing_.pop_front();
                        self->WriteNext();
                      });
  }

  void CloseAfterReplies(std::string reason) {
    closing_ = true;
    close_reason_ = std::move(reason);
    if (!writing_) Drop(close_reason_);
  }

  std::shared_ptr<Listener::Hub> hub_;
  asio::ip::tcp::socket socket_;
  asio::steady_timer auth_timer_;
  std::string peer_;
  PacketReader reader_;
  std::array<char, 4096> incoming_{};
  std::deque<std::string> outgoing_;
  std::size_t unsent_bytes_ = 0;
  bool authenticated_ = false;
  bool writing_ = false;
  bool closing_ = false;
  bool dropped_ = false;
  std::string close_reason_;
};

void Listener::Hub::Accept() {
  acceptor.async_accept(accepted_peer, [self = shared_from_this()](const asio::error_code& error,
                                                                   asio::ip::tcp::socket socket) {
    if (self->closed) return;
    if (error) {
      if (error == asio::error::operation_aborted) return;
      // A connection that failed while being accepted concerns only that client.
      self->log("rcon: accept failed: " + error.message());
      self->accept_retry.expires_after(kAcceptRetryPause);
      self->accept_retry.async_wait([self](const asio::error_code& waited) {
        if (!waited && !self->closed) self->Accept();
      });
      return;
    }
    asio::error_code ignored;
    const std::string peer = Endpoint(self->accepted_peer);
    if (static_cast<int>(self->connections.size()) >= self->options.max_connections) {
      self->log("rcon: " + peer + " refused: " + std::to_string(self->connections.size()) +
                " connections open already");
      socket.close(ignored);
    } else {
      socket.set_option(asio::ip::tcp::no_delay(true), ignored);
      auto connection = std::make_shared<Connection>(self, std::move(socket), peer);
      self->connections.insert(connection);
      connection->Start();
    }
    self->Accept();
  });
}

void Listener::Hub::Close() {
  if (closed) return;
  closed = true;
  asio::error_code ignored;
  acceptor.close(ignored);
  accept_retry.cancel();
  // Drop takes each connection out of the set.
  while (!connections.empty()) {
    const std::shared_ptr<Connection> connection = *connections.begin();
    connection->Drop("server stopping");
  }
}

// The address to bind: an IP address as written, or an address that a host name resolves to.
asio::ip::tcp::endpoint Listener::Hub::BindEndpoint() {
  asio::error_code not_an_address;
  const asio::ip::address address = asio::ip::make_address(options.bind_address, not_an_address);
  if (!not_an_address) return {address, options.port};
  asio::ip::tcp::resolver resolver(acceptor.get_executor());
  const auto found = resolver.resolve(options.bind_address, std::to_string(options.port),
                                      asio::ip::tcp::resolver::passive);
  if (found.empty()) throw std::runtime_error("no address for " + options.bind_address);
  // IPv4 first: "localhost" should mean 127.0.0.1, where clients look first.
  for (const auto& entry : found) {
    if (entry.endpoint().address().is_v4()) return entry.endpoint();
  }
  return found.begin()->endpoint();
}

Listener::Listener(asio::io_context& io, ListenerOptions options, CommandRunner run, LogLine log)
    : hub_(std::make_shared<Hub>(io, std::move(options), std::move(run), std::move(log))) {
  const std::string where =
      hub_->options.bind_address + " port " + std::to_string(hub_->options.port);
  // Without a password anyone who reaches the port would run commands.
  if (hub_->options.password.empty()) {
    throw std::runtime_error("cannot listen for RCON on " + where + ": the password is empty");
  }
  try {
    const asio::ip::tcp::endpoint endpoint = hub_->BindEndpoint();
    hub_->acceptor.open(endpoint.protocol());
#if !defined(_WIN32)
    // A restarted server gets its port back at once; on Windows the option would let another
    // program take the port from under it.
    hub_->acceptor.set_option(asio::ip::tcp::acceptor::reuse_address(true));
#endif
    hub_->acceptor.bind(endpoint);
    hub_->acceptor.listen();
  } catch (const std::system_error& error) {
    throw std::runtime_error("cannot listen for RCON on " + where + ": " + error.what());
  }
  if (hub_->acceptor.local_endpoint().address().is_unspecified()) {
    hub_->log("rcon: warning: listening on every network interface (" + hub_->options.bind_address +
              "): anyone who can reach this machine can try the password; bind 127.0.0.1 unless "
              "clients come from other machines");
  }
  hub_->Accept();
}

Listener::~Listener() { Close(); }

uint16_t Listener::port() const { return hub_->acceptor.local_endpoint().port(); }

std::string Listener::address() const { return Endpoint(hub_->acceptor.local_endpoint()); }

std::size_t Listener::connections() const { return hub_->connections.size(); }

void Listener::Close() { hub_->Close(); }

}  // namespace rcon
