#pragma once

// RCON packets as they travel on the socket: a little-endian size (the bytes that follow it), a
// request id and a type, then the body with a NUL terminator and an empty string (one more NUL).
// No sockets here: bytes in, packets or the reason to drop the connection out.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rcon {

// Packet types. A command request and an authentication answer share the value 2.
inline constexpr int32_t kResponseValue = 0;
inline constexpr int32_t kExecCommand = 2;
inline constexpr int32_t kAuthResponse = 2;
inline constexpr int32_t kAuth = 3;

// The size field counts id, type and the two terminators at least; clients send at most 4096.
inline constexpr int32_t kMinPacketSize = 10;
inline constexpr int32_t kMaxPacketSize = 4096;
// A reply body longer than this goes out in several packets, each within the size limit.
inline constexpr std::size_t kMaxBodyPerPacket = kMaxPacketSize - kMinPacketSize;

struct Packet {
  int32_t id = 0;
  int32_t type = 0;
  std::string body;  // without its terminator

  bool operator==(const Packet&) const = default;
};

// Turns the bytes of one connection into packets. After the first error it takes nothing more:
// the connection is to be closed.
class PacketReader {
 public:
  // A server takes packets of kMaxPacketSize at most, as clients send them; a client reads larger
  // replies.
  explicit PacketReader(int32_t max_size = kMaxPacketSize) : max_size_(max_size) {}

  // Complete packets from the bytes received so far, in order. Packets that came whole before a
  // bad one are still returned; error() then says why the connection must close.
  std::vector<Packet> Feed(std::string_view bytes);

  const std::string& error() const { return error_; }
  bool failed() const { return !error_.empty(); }
  // Bytes of an incomplete packet held back for the next read.
  std::size_t pending() const { return buffer_.size(); }
  // What to say when the peer goes away now: empty at a packet boundary.
  std::string EndOfStreamError() const;

 private:
  int32_t max_size_;
  std::string buffer_;
  std::string error_;
};

// One packet on the wire.
std::string EncodePacket(int32_t id, int32_t type, std::string_view body);
// A reply of any length, as the packets (type 0, the request's id) that carry it: each ends at a
// line end, unless a line is longer than a packet holds.
std::vector<std::string> EncodeReplyPackets(int32_t id, std::string_view text);
// The same packets, one after the other.
std::string EncodeReply(int32_t id, std::string_view text);

}  // namespace rcon
