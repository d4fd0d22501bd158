#include "tests/rcon/test_client.h"

#include <gtest/gtest.h>

#include <array>

TestClient::TestClient(uint16_t port) : socket_(io_) {
  socket_.connect(asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
}

void TestClient::SendBytes(std::string_view bytes) {
  asio::error_code error;
  asio::write(socket_, asio::buffer(bytes.data(), bytes.size()), error);
  EXPECT_FALSE(error) << error.message();
}

void TestClient::Send(int32_t id, int32_t type, std::string_view body) {
  SendBytes(rcon::EncodePacket(id, type, body));
}

bool TestClient::ReadMore() {
  std::array<char, 8192> buffer;
  asio::error_code result = asio::error::would_block;
  std::size_t size = 0;
  socket_.async_read_some(asio::buffer(buffer), [&](const asio::error_code& error, std::size_t n) {
    result = error;
    size = n;
  });
  io_.restart();
  io_.run_for(limit_);
  if (result == asio::error::would_block) {
    ADD_FAILURE() << "no answer from the server within " << limit_.count() << " ms";
    socket_.cancel();
    io_.restart();
    io_.run();
    return false;
  }
  if (result) return false;
  for (auto& packet : reader_.Feed(std::string_view(buffer.data(), size))) {
    received_.push_back(std::move(packet));
  }
  EXPECT_FALSE(reader_.failed()) << reader_.error();
  return !reader_.failed();
}

std::optional<rcon::Packet> TestClient::Receive() {
  while (received_.empty()) {
    if (!ReadMore()) return std::nullopt;
  }
  rcon::Packet packet = std::move(received_.front());
  received_.pop_front();
  return packet;
}

bool TestClient::ClosedByServer() {
  for (int packets = 0; packets < 100; ++packets) {
    if (!Receive()) return reader_.pending() == 0;
  }
  return false;
}

bool TestClient::Authenticate(std::string_view password, int32_t id) {
  Send(id, rcon::kAuth, password);
  const auto answer = Receive();
  if (!answer) return false;
  EXPECT_EQ(answer->type, rcon::kAuthResponse);
  EXPECT_TRUE(answer->id == id || answer->id == -1) << answer->id;
  return answer->id == id;
}

std::string TestClient::Command(std::string_view text, int32_t id) {
  const int32_t end_marker = id + 1000000;
  Send(id, rcon::kExecCommand, text);
  Send(end_marker, rcon::kResponseValue, "");
  std::string reply;
  for (int packets = 0; packets < 1000; ++packets) {
    const auto packet = Receive();
    if (!packet) {
      ADD_FAILURE() << "connection closed before the reply to \"" << text << "\" ended";
      break;
    }
    EXPECT_EQ(packet->type, rcon::kResponseValue);
    if (packet->id == end_marker) {
      EXPECT_EQ(packet->body, "");
      break;
    }
    EXPECT_EQ(packet->id, id);
    reply += packet->body;
  }
  return reply;
}

void TestClient::Close() {
  asio::error_code ignored;
  socket_.close(ignored);
}
