// Fuzz target for the RCON packet reader, the first code that sees a client's bytes: whatever
// arrives, in whatever pieces, the reader yields the same packets and the same verdict, every
// packet it yields is exactly the bytes it took, and it never holds more than one packet's bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tools/common/rcon_packets.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

struct Outcome {
  std::vector<rcon::Packet> packets;
  std::string error;
  std::string end_of_stream;
};

Outcome ReadInPieces(std::string_view bytes, std::size_t piece) {
  Outcome outcome;
  rcon::PacketReader reader;
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    for (auto& packet : reader.Feed(bytes.substr(at, piece))) {
      outcome.packets.push_back(std::move(packet));
    }
    Check(reader.pending() < 4 + rcon::kMaxPacketSize);
    if (reader.failed()) Check(reader.Feed(bytes).empty());
  }
  outcome.error = reader.error();
  outcome.end_of_stream = reader.EndOfStreamError();
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte chooses how the rest is cut into reads.
  const std::size_t piece = 1 + data[0] % 64;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

  const Outcome whole = ReadInPieces(bytes, bytes.size() + 1);
  const Outcome pieces = ReadInPieces(bytes, piece);
  Check(whole.packets == pieces.packets);
  Check(whole.error == pieces.error);
  Check(whole.end_of_stream == pieces.end_of_stream);

  // The packets are the input's first bytes, exactly.
  std::string encoded;
  for (const rcon::Packet& packet : whole.packets) {
    encoded += rcon::EncodePacket(packet.id, packet.type, packet.body);
  }
  Check(bytes.substr(0, encoded.size()) == encoded);
  // Without an error, what is left is an incomplete packet; with one, a reason is given.
  if (whole.error.empty() && encoded.size() == bytes.size()) Check(whole.end_of_stream.empty());
  if (whole.error.empty() && encoded.size() < bytes.size()) Check(!whole.end_of_stream.empty());
  return 0;
}
