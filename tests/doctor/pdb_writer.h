#pragma once

// Writes program databases (MSF 7.00) for the reader's tests and its benchmark: the container with
// any block size, its streams' blocks side by side or scattered, and the streams the reader reads
// (PDB info, DBI header, publics hash, symbol records, type records) built from records given here.

#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Where the container's bytes go: a string, or a file for databases of a gigabyte.
class MsfSink {
 public:
  virtual ~MsfSink() = default;
  virtual void Write(std::uint64_t offset, std::string_view bytes) = 0;
};

class StringSink final : public MsfSink {
 public:
  void Write(std::uint64_t offset, std::string_view bytes) override;
  std::string bytes;
};

class FileSink final : public MsfSink {
 public:
  explicit FileSink(const std::string& path) : out_(path, std::ios::binary | std::ios::trunc) {}
  void Write(std::uint64_t offset, std::string_view bytes) override;
  bool Good() const { return out_.good(); }

 private:
  std::ofstream out_;
};

class MsfWriter {
 public:
  // `scatter`: each stream's blocks in the reverse of their order in the file, so that no two
  // neighbours in a stream are neighbours in the file.
  MsfWriter(MsfSink& sink, std::uint32_t block_size, bool scatter = false);

  void SetStream(std::uint32_t index, std::string_view bytes);
  // A stream too large to hold: `fill` appends the `count` bytes at `offset` to `piece`, a block
  // at a time.
  using Fill = std::function<void(std::uint64_t offset, std::uint64_t count, std::string& piece)>;
  void SetStream(std::uint32_t index, std::uint64_t size, const Fill& fill);
  void SetNilStream(std::uint32_t index);
  // A stream written as it is made, in pieces of any size: its blocks are taken one after another
  // (never scattered). One at a time, between the other streams.
  void BeginStream(std::uint32_t index);
  void Append(std::string_view bytes);
  void EndStream();
  // The stream directory, its block list and the superblock; streams never set are empty.
  void Finish();

 private:
  struct Entry {
    std::uint32_t size = 0;
    std::vector<std::uint32_t> blocks;
  };
  std::vector<std::uint32_t> Allocate(std::uint64_t count);
  Entry& At(std::uint32_t index);

  MsfSink& sink_;
  std::uint32_t block_size_;
  bool scatter_;
  void FlushBlock();

  std::uint32_t next_block_ = 3;  // after the superblock and the two free block maps
  std::vector<Entry> streams_;
  std::uint32_t open_ = 0;  // the stream being appended to
  std::string pending_;     // its bytes that do not fill a block yet
};

// Type records from index 0x1000 on, each padded to four bytes as the linkers pad them.
class TypeRecordWriter {
 public:
  std::uint32_t Add(std::uint16_t kind, std::string_view body);
  std::uint32_t Count() const { return count_; }
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
  std::uint32_t count_ = 0;
};

// Little-endian pieces of records.
void PutU16(std::string& out, std::uint32_t value);
void PutU32(std::string& out, std::uint32_t value);
void PutName(std::string& out, std::string_view name);
// The body of a class record (LF_CLASS, LF_STRUCTURE; after the kind): size below 0x8000.
std::string ClassBody(std::uint16_t properties, std::uint32_t fields, std::uint32_t size,
                      std::string_view name);
// A field list's LF_MEMBER entry, padded to four bytes.
std::string MemberEntry(std::uint32_t type, std::uint32_t offset, std::string_view name);

// What the reader reads of a database; the rest of a real one (modules, section maps) is left out
// or given as extra streams.
struct PdbParts {
  std::string types;  // TPI records, from 0x1000
  std::uint32_t type_count = 0;
  std::string symbols;                 // the symbol record stream
  std::vector<std::uint32_t> publics;  // offsets of its S_PUB32 records
};
// Appends an S_PUB32 record to `symbols` and its offset to `publics`.
void AddPublic(PdbParts& parts, std::string_view name, bool is_function);
// The streams: 1 PDB info, 2 TPI, 3 DBI, 4 IPI (empty), 5 publics, 6 symbol records, 7 globals;
// the caller's own from 8 on. Ends with Finish().
void WritePdb(MsfWriter& writer, const PdbParts& parts);
// Their parts, for a writer that makes the records as it writes them.
std::string PdbInfoStream();
std::string TypeStreamHeader(std::uint32_t type_count, std::uint32_t record_bytes);
std::string DbiStream();
std::string PublicsStream(const std::vector<std::uint32_t>& offsets);
std::string GlobalsStream();
inline constexpr std::uint32_t kPublicsStreamIndex = 5;
inline constexpr std::uint32_t kSymbolStreamIndex = 6;
inline constexpr std::uint32_t kGlobalsStreamIndex = 7;
