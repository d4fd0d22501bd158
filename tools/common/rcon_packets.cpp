#include "tools/common/rcon_packets.h"

#include <algorithm>

namespace rcon {

namespace {

int32_t ReadInt32(std::string_view bytes, std::size_t at) {
  uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  }
  return static_cast<int32_t>(value);
}

void AppendInt32(std::string& out, int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
}

// Why a packet of this size field cannot be one; empty when it can.
std::string SizeError(int32_t size, int32_t max_size) {
  if (size < 0) return "negative packet size " + std::to_string(size);
  if (size < kMinPacketSize) {
    return "packet size " + std::to_string(size) + " below the minimum " +
           std::to_string(kMinPacketSize);
  }
  if (size > max_size) {
    return "packet size " + std::to_string(size) + " over the limit " + std::to_string(max_size);
  }
  return {};
}

// The packet in `payload` (id, type, body, two NULs), or why it is none.
std::string ParsePayload(std::string_view payload, Packet& packet) {
  packet.id = ReadInt32(payload, 0);
  packet.type = ReadInt32(payload, 4);
  const std::string_view body = payload.substr(8);
  if (body[body.size() - 2] != '\0' || body[body.size() - 1] != '\0') {
    return "packet body without its terminator";
  }
  const std::string_view text = body.substr(0, body.size() - 2);
  if (text.find('\0') != std::string_view::npos) return "packet body with a NUL inside";
  if (packet.type != kAuth && packet.type != kExecCommand && packet.type != kResponseValue) {
    return "unknown packet type " + std::to_string(packet.type);
  }
  packet.body.assign(text);
  return {};
}

}  // namespace

std::vector<Packet> PacketReader::Feed(std::string_view bytes) {
  std::vector<Packet> packets;
  if (failed()) return packets;
  buffer_.append(bytes);
  std::size_t at = 0;
  while (buffer_.size() - at >= 4) {
    const int32_t size = ReadInt32(buffer_, at);
    error_ = SizeError(size, max_size_);
    if (failed()) break;
    if (buffer_.size() - at - 4 < static_cast<std::size_t>(size)) break;
    Packet packet;
    error_ = ParsePayload(std::string_view(buffer_).substr(at + 4, size), packet);
    if (failed()) break;
    packets.push_back(std::move(packet));
    at += 4 + static_cast<std::size_t>(size);
  }
  if (failed()) {
    buffer_.clear();
  } else {
    buffer_.erase(0, at);
  }
  return packets;
}

std::string PacketReader::EndOfStreamError() const {
  if (buffer_.empty()) return {};
  if (buffer_.size() < 4) {
    return "gone mid-packet (" + std::to_string(buffer_.size()) + " bytes of a size field)";
  }
  return "gone mid-packet (" + std::to_string(buffer_.size() - 4) + " of " +
         std::to_string(ReadInt32(buffer_, 0)) + " bytes)";
}

std::string EncodePacket(int32_t id, int32_t type, std::string_view body) {
  std::string out;
  out.reserve(4 + kMinPacketSize + body.size());
  AppendInt32(out, static_cast<int32_t>(body.size()) + kMinPacketSize);
  AppendInt32(out, id);
  AppendInt32(out, type);
  out.append(body);
  out.append(2, '\0');
  return out;
}

std::vector<std::string> EncodeReplyPackets(int32_t id, std::string_view text) {
  std::vector<std::string> packets;
  if (text.empty()) packets.push_back(EncodePacket(id, kResponseValue, text));
  while (!text.empty()) {
    std::size_t size = std::min(text.size(), kMaxBodyPerPacket);
    // A client that shows each packet on its own shows whole lines: a packet ends after the last
    // line end that fits, unless the line alone is longer than a packet.
    if (size < text.size()) {
      const std::size_t line_end = text.substr(0, size).rfind('\n');
      if (line_end != std::string_view::npos) size = line_end + 1;
    }
    packets.push_back(EncodePacket(id, kResponseValue, text.substr(0, size)));
    text.remove_prefix(size);
  }
  return packets;
}

std::string EncodeReply(int32_t id, std::string_view text) {
  std::string out;
  for (const std::string& packet : EncodeReplyPackets(id, text)) out += packet;
  return out;
}

}  // namespace rcon
