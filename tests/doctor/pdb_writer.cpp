#include "tests/doctor/pdb_writer.h"

#include <algorithm>

void StringSink::Write(std::uint64_t offset, std::string_view data) {
  if (bytes.size() < offset + data.size()) bytes.resize(offset + data.size());
  std::copy(data.begin(), data.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

void FileSink::Write(std::uint64_t offset, std::string_view data) {
  out_.seekp(static_cast<std::streamoff>(offset));
  out_.write(data.data(), static_cast<std::streamsize>(data.size()));
}

MsfWriter::MsfWriter(MsfSink& sink, std::uint32_t block_size, bool scatter)
    : sink_(sink), block_size_(block_size), scatter_(scatter) {}

MsfWriter::Entry& MsfWriter::At(std::uint32_t index) {
  if (streams_.size() <= index) streams_.resize(index + 1);
  return streams_[index];
}

std::vector<std::uint32_t> MsfWriter::Allocate(std::uint64_t count) {
  std::vector<std::uint32_t> blocks;
  while (blocks.size() < count) {
    // The free block maps sit at blocks 1 and 2 of every block_size blocks.
    const std::uint32_t in_interval = next_block_ % block_size_;
    if (in_interval != 1 && in_interval != 2) blocks.push_back(next_block_);
    ++next_block_;
  }
  if (scatter_) std::reverse(blocks.begin(), blocks.end());
  return blocks;
}

void MsfWriter::SetStream(std::uint32_t index, std::string_view bytes) {
  SetStream(index, bytes.size(),
            [&](std::uint64_t offset, std::uint64_t count, std::string& piece) {
              piece.assign(bytes.substr(offset, count));
            });
}

void MsfWriter::SetStream(std::uint32_t index, std::uint64_t size, const Fill& fill) {
  Entry& entry = At(index);
  entry.size = static_cast<std::uint32_t>(size);
  entry.blocks = Allocate((size + block_size_ - 1) / block_size_);
  std::string piece;
  for (std::size_t i = 0; i < entry.blocks.size(); ++i) {
    piece.clear();
    const std::uint64_t offset = i * std::uint64_t{block_size_};
    fill(offset, std::min<std::uint64_t>(block_size_, size - offset), piece);
    piece.resize(block_size_, '\0');
    sink_.Write(std::uint64_t{entry.blocks[i]} * block_size_, piece);
  }
}

void MsfWriter::SetNilStream(std::uint32_t index) {
  Entry& entry = At(index);
  entry.size = 0xFFFFFFFF;
  entry.blocks.clear();
}

void MsfWriter::BeginStream(std::uint32_t index) {
  At(index) = Entry();
  open_ = index;
  pending_.clear();
}

void MsfWriter::FlushBlock() {
  const std::uint32_t block = Allocate(1)[0];
  Entry& entry = streams_[open_];
  entry.blocks.push_back(block);
  pending_.resize(block_size_, '\0');
  sink_.Write(std::uint64_t{block} * block_size_, pending_);
  pending_.clear();
}

void MsfWriter::Append(std::string_view bytes) {
  streams_[open_].size += static_cast<std::uint32_t>(bytes.size());
  while (!bytes.empty()) {
    const std::size_t n = std::min<std::size_t>(block_size_ - pending_.size(), bytes.size());
    pending_.append(bytes.substr(0, n));
    bytes.remove_prefix(n);
    if (pending_.size() == block_size_) FlushBlock();
  }
}

void MsfWriter::EndStream() {
  if (!pending_.empty()) FlushBlock();
}

void MsfWriter::Finish() {
  std::string directory;
  PutU32(directory, static_cast<std::uint32_t>(streams_.size()));
  for (const Entry& entry : streams_) PutU32(directory, entry.size);
  for (const Entry& entry : streams_) {
    for (const std::uint32_t block : entry.blocks) PutU32(directory, block);
  }
  const std::vector<std::uint32_t> directory_blocks =
      Allocate((directory.size() + block_size_ - 1) / block_size_);
  std::string piece;
  for (std::size_t i = 0; i < directory_blocks.size(); ++i) {
    piece.assign(std::string_view(directory).substr(i * block_size_, block_size_));
    piece.resize(block_size_, '\0');
    sink_.Write(std::uint64_t{directory_blocks[i]} * block_size_, piece);
  }
  const std::uint32_t block_map = Allocate(1)[0];
  piece.clear();
  for (const std::uint32_t block : directory_blocks) PutU32(piece, block);
  piece.resize(block_size_, '\0');
  sink_.Write(std::uint64_t{block_map} * block_size_, piece);
  // Each free block map block all ones ("free") past the file's end is how the linkers leave them;
  // the reader ignores them, so plain bytes do.
  std::string super(
      "Microsoft C/C++ MSF 7.00\r\n\x1a"
      "DS\0\0\0",
      32);
  PutU32(super, block_size_);
  PutU32(super, 1);
  PutU32(super, next_block_);
  PutU32(super, static_cast<std::uint32_t>(directory.size()));
  PutU32(super, 0);
  PutU32(super, block_map);
  super.resize(block_size_, '\0');
  sink_.Write(0, super);
  // Every block of the file is there, the free block maps' included.
  for (std::uint32_t block = 1; block < next_block_; ++block) {
    const std::uint32_t in_interval = block % block_size_;
    if (in_interval == 1 || in_interval == 2) {
      sink_.Write(std::uint64_t{block} * block_size_, std::string(block_size_, '\xff'));
    }
  }
}

void PutU16(std::string& out, std::uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

void PutU32(std::string& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((value >> shift) & 0xFF);
}

void PutName(std::string& out, std::string_view name) {
  out += name;
  out += '\0';
}

std::uint32_t TypeRecordWriter::Add(std::uint16_t kind, std::string_view body) {
  std::string record;
  PutU16(record, kind);
  record += body;
  // Padding bytes count down to the next four-byte boundary, as LF_PAD3, LF_PAD2, LF_PAD1.
  while ((record.size() + 2) % 4 != 0) {
    record += static_cast<char>(0xF0 + (4 - (record.size() + 2) % 4));
  }
  PutU16(bytes_, static_cast<std::uint32_t>(record.size()));
  bytes_ += record;
  return 0x1000 + count_++;
}

std::string ClassBody(std::uint16_t properties, std::uint32_t fields, std::uint32_t size,
                      std::string_view name) {
  std::string body;
  PutU16(body, 0);  // member count
  PutU16(body, properties);
  PutU32(body, fields);
  PutU32(body, 0);  // derived
  PutU32(body, 0);  // vtable shape
  PutU16(body, size);
  PutName(body, name);
  return body;
}

std::string MemberEntry(std::uint32_t type, std::uint32_t offset, std::string_view name) {
  std::string entry;
  PutU16(entry, 0x150d);
  PutU16(entry, 3);  // public
  PutU32(entry, type);
  if (offset < 0x8000) {
    PutU16(entry, offset);
  } else {
    PutU16(entry, 0x8004);  // LF_ULONG
    PutU32(entry, offset);
  }
  PutName(entry, name);
  while (entry.size() % 4 != 0) entry += static_cast<char>(0xF0 + (4 - entry.size() % 4));
  return entry;
}

void AddPublic(PdbParts& parts, std::string_view name, bool is_function) {
  std::string record;
  PutU16(record, 0x110E);
  PutU32(record, is_function ? 2 : 0);
  PutU32(record, static_cast<std::uint32_t>(parts.publics.size() * 16));  // offset in its section
  PutU16(record, 1);                                                      // section
  PutName(record, name);
  while ((record.size() + 2) % 4 != 0) record += '\0';
  parts.publics.push_back(static_cast<std::uint32_t>(parts.symbols.size()));
  PutU16(parts.symbols, static_cast<std::uint32_t>(record.size()));
  parts.symbols += record;
}

std::string PdbInfoStream() {
  std::string info;
  PutU32(info, 20000404);  // VC70
  PutU32(info, 0x5EED5EED);
  PutU32(info, 1);
  for (int i = 0; i < 16; ++i) info += static_cast<char>(0x10 + i);
  for (int i = 0; i < 5; ++i) PutU32(info, 0);  // the named stream map: no names
  return info;
}

std::string TypeStreamHeader(std::uint32_t type_count, std::uint32_t record_bytes) {
  std::string tpi;
  PutU32(tpi, 20040203);  // V80
  PutU32(tpi, 56);
  PutU32(tpi, 0x1000);
  PutU32(tpi, 0x1000 + type_count);
  PutU32(tpi, record_bytes);
  PutU16(tpi, 0xFFFF);  // no hash stream
  PutU16(tpi, 0xFFFF);
  PutU32(tpi, 4);
  PutU32(tpi, 0x3FFFF);
  for (int i = 0; i < 6; ++i) PutU32(tpi, 0);
  return tpi;
}

std::string DbiStream() {
  std::string dbi;
  PutU32(dbi, 0xFFFFFFFF);
  PutU32(dbi, 19990903);
  PutU32(dbi, 1);
  PutU16(dbi, kGlobalsStreamIndex);
  PutU16(dbi, 0x8E1D);
  PutU16(dbi, kPublicsStreamIndex);
  PutU16(dbi, 0);
  PutU16(dbi, kSymbolStreamIndex);
  PutU16(dbi, 0);
  for (int i = 0; i < 8; ++i) PutU32(dbi, 0);  // substream sizes, MFC index
  PutU16(dbi, 0);
  PutU16(dbi, 0x8664);
  PutU32(dbi, 0);
  return dbi;
}

// The publics hash without its buckets (a reader walks its records) and the address map.
std::string PublicsStream(const std::vector<std::uint32_t>& offsets) {
  const std::uint32_t count = static_cast<std::uint32_t>(offsets.size());
  std::string publics;
  PutU32(publics, 16 + count * 8);
  PutU32(publics, count * 4);
  for (int i = 0; i < 5; ++i) PutU32(publics, 0);
  PutU32(publics, 0xFFFFFFFF);
  PutU32(publics, 0xEFFE0000 + 19990810);
  PutU32(publics, count * 8);
  PutU32(publics, 0);
  for (const std::uint32_t offset : offsets) {
    PutU32(publics, offset + 1);
    PutU32(publics, 1);
  }
  for (const std::uint32_t offset : offsets) PutU32(publics, offset);
  return publics;
}

std::string GlobalsStream() {
  std::string globals;
  PutU32(globals, 0xFFFFFFFF);
  PutU32(globals, 0xEFFE0000 + 19990810);
  PutU32(globals, 0);
  PutU32(globals, 0);
  return globals;
}

void WritePdb(MsfWriter& writer, const PdbParts& parts) {
  writer.SetStream(1, PdbInfoStream());
  const std::string tpi =
      TypeStreamHeader(parts.type_count, static_cast<std::uint32_t>(parts.types.size()));
  writer.BeginStream(2);
  writer.Append(tpi);
  writer.Append(parts.types);
  writer.EndStream();
  writer.SetStream(3, DbiStream());
  writer.SetStream(4, std::string_view());
  writer.SetStream(kPublicsStreamIndex, PublicsStream(parts.publics));
  writer.SetStream(kSymbolStreamIndex, parts.symbols);
  writer.SetStream(kGlobalsStreamIndex, GlobalsStream());
}
