// The packet reader and writer: bytes as they come off a socket, in any split, to packets, and
// every malformed packet to the reason the connection closes.

#include "tools/serve/rcon_packets.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using rcon::EncodePacket;
using rcon::Packet;
using rcon::PacketReader;

std::string Int32(int32_t value) { return EncodePacket(value, 0, "").substr(4, 4); }

// A packet with its size field and payload given by hand.
std::string RawPacket(int32_t size, std::string payload) { return Int32(size) + payload; }

TEST(RconPacketReader, PacketsComeOutWholeHoweverTheBytesAreSplit) {
  const std::string stream = EncodePacket(7, rcon::kAuth, "secret") +
                             EncodePacket(8, rcon::kExecCommand, "kvar.dumpdinos") +
                             EncodePacket(-3, rcon::kResponseValue, "");
  const std::vector<Packet> expected = {{7, rcon::kAuth, "secret"},
                                        {8, rcon::kExecCommand, "kvar.dumpdinos"},
                                        {-3, rcon::kResponseValue, ""}};
  for (std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{13}, stream.size()}) {
    SCOPED_TRACE("pieces of " + std::to_string(piece) + " bytes");
    PacketReader reader;
    std::vector<Packet> packets;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
      for (auto& packet : reader.Feed(std::string_view(stream).substr(at, piece))) {
        packets.push_back(packet);
      }
    }
    EXPECT_EQ(packets, expected);
    EXPECT_FALSE(reader.failed());
    EXPECT_EQ(reader.pending(), 0u);
    EXPECT_EQ(reader.EndOfStreamError(), "");
  }
}

TEST(RconPacketReader, MalformedPacketsCloseTheConnection) {
  const std::string good = EncodePacket(1, rcon::kAuth, "pw");
  struct Case {
    const char* name;
    std::string bytes;
    const char* error;
  };
  const Case cases[] = {
      {"garbage", "GET / HTTP/1.1\r\n\r\n", "packet size 542393671 over the limit 4096"},
      {"negative size", RawPacket(-1, std::string(10, '\0')), "negative packet size -1"},
      {"size too small", RawPacket(9, std::string(9, '\0')), "packet size 9 below the minimum 10"},
      {"size over the limit", RawPacket(4097, std::string(4097, '\0')),
       "packet size 4097 over the limit 4096"},
      {"largest size", RawPacket(4096, Int32(1) + Int32(2) + std::string(4088, 'a')),
       "packet body without its terminator"},
      {"no terminator", RawPacket(11, Int32(1) + Int32(2) + "abc"),
       "packet body without its terminator"},
      {"no empty string", RawPacket(11, Int32(1) + Int32(2) + std::string("ab\0", 3)),
       "packet body without its terminator"},
      {"NUL inside the body", RawPacket(13, Int32(1) + Int32(2) + std::string("a\0b\0\0", 5)),
       "packet body with a NUL inside"},
      {"unknown type", EncodePacket(1, 1, "x"), "unknown packet type 1"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    PacketReader reader;
    // The packet before the bad one still counts; nothing after it is read.
    const auto packets = reader.Feed(good + test.bytes + good);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0], (Packet{1, rcon::kAuth, "pw"}));
    EXPECT_EQ(reader.error(), test.error);
    EXPECT_TRUE(reader.Feed(good).empty());
    EXPECT_EQ(reader.pending(), 0u);
  }
}

TEST(RconPacketReader, AClientGoneMidPacketIsToldApart) {
  const std::string packet = EncodePacket(1, rcon::kExecCommand, "kvar.reload");
  PacketReader reader;
  reader.Feed(packet.substr(0, 2));
  EXPECT_EQ(reader.EndOfStreamError(), "gone mid-packet (2 bytes of a size field)");
  reader.Feed(packet.substr(2, 10));
  EXPECT_EQ(reader.EndOfStreamError(), "gone mid-packet (8 of 21 bytes)");
  reader.Feed(packet.substr(12));
  EXPECT_EQ(reader.EndOfStreamError(), "");
}

TEST(RconPacketWriter, LongRepliesAreSplitIntoPacketsWithinTheLimit) {
  std::string text;
  for (int i = 0; text.size() < 2 * rcon::kMaxBodyPerPacket + 100; ++i) {
    text += "line " + std::to_string(i) + "\n";
  }
  for (const std::string& reply :
       {text, std::string(rcon::kMaxBodyPerPacket, 'x'), std::string()}) {
    SCOPED_TRACE(std::to_string(reply.size()) + " bytes");
    PacketReader reader;
    const auto packets = reader.Feed(rcon::EncodeReply(42, reply));
    ASSERT_FALSE(reader.failed()) << reader.error();
    const std::size_t expected_packets =
        reply.empty() ? 1 : (reply.size() + rcon::kMaxBodyPerPacket - 1) / rcon::kMaxBodyPerPacket;
    EXPECT_EQ(packets.size(), expected_packets);
    std::string joined;
    for (const Packet& packet : packets) {
      EXPECT_EQ(packet.id, 42);
      EXPECT_EQ(packet.type, rcon::kResponseValue);
      joined += packet.body;
    }
    EXPECT_EQ(joined, reply);
  }
}

}  // namespace
