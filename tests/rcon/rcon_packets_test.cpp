// The packet reader and writer: bytes as they come off a socket, in any split, to packets, and
// every malformed packet to the reason the connection closes.

#include "tools/common/rcon_packets.h"

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

// Long replies go out in packets within the limit, each ending at a line end where the line fits,
// so that a client showing each packet on its own shows whole lines.
TEST(RconPacketWriter, LongRepliesAreSplitAtLineEndsWithinTheLimit) {
  std::string lines;
  for (int i = 0; lines.size() < 2 * rcon::kMaxBodyPerPacket + 100; ++i) {
    lines += "line " + std::to_string(i) + "\n";
  }
  const std::size_t most = rcon::kMaxBodyPerPacket;
  const std::string long_line = "short\n" + std::string(most + 10, 'y') + "\nend\n";
  const struct {
    std::string reply;
    std::vector<std::string> bodies;  // empty: whole lines in every packet, checked below
  } cases[] = {
      {lines, {}},
      {std::string(most, 'x'), {std::string(most, 'x')}},
      {std::string(most - 1, 'x') + "\nz", {std::string(most - 1, 'x') + "\n", "z"}},
      {std::string(), {std::string()}},
      {long_line, {"short\n", std::string(most, 'y'), std::string(10, 'y') + "\nend\n"}},
  };
  for (const auto& one : cases) {
    SCOPED_TRACE(std::to_string(one.reply.size()) + " bytes");
    PacketReader reader;
    const auto packets = reader.Feed(rcon::EncodeReply(42, one.reply));
    ASSERT_FALSE(reader.failed()) << reader.error();
    std::vector<std::string> bodies;
    std::string joined;
    for (const Packet& packet : packets) {
      EXPECT_EQ(packet.id, 42);
      EXPECT_EQ(packet.type, rcon::kResponseValue);
      EXPECT_LE(packet.body.size(), most);
      bodies.push_back(packet.body);
      joined += packet.body;
    }
    EXPECT_EQ(joined, one.reply);
    if (!one.bodies.empty()) {
      EXPECT_EQ(bodies, one.bodies);
    } else {
      EXPECT_EQ(bodies.size(), 3u);
      for (const std::string& body : bodies) EXPECT_EQ(body.back(), '\n');
    }
  }
}

}  // namespace
