#include "tools/doctor/msf_file.h"

#include <algorithm>
#include <cstring>

#include "tools/doctor/mapped_file.h"

namespace {

std::uint32_t Le32(const char* at) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(at);
  return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
         std::uint32_t{bytes[3]} << 24;
}

std::uint64_t BlocksFor(std::uint64_t size, std::uint32_t block_size) {
  return (size + block_size - 1) / block_size;
}

}  // namespace

std::string_view MsfStream::Bytes(std::uint64_t offset, std::uint64_t count, std::string& scratch,
                                  const char* what) const {
  if (!Has(offset, count)) {
    throw MsfDamaged{std::string(what) + " runs past the end of its stream"};
  }
  if (count == 0) return {};
  const std::uint64_t first = offset / block_size_;
  const std::uint64_t last = (offset + count - 1) / block_size_;
  bool side_by_side = true;
  for (std::uint64_t block = first; block < last && side_by_side; ++block) {
    side_by_side = blocks_[block + 1] == blocks_[block] + 1;
  }
  const std::uint64_t start = std::uint64_t{blocks_[first]} * block_size_ + offset % block_size_;
  if (side_by_side) return file_.substr(start, count);
  scratch.resize(count);
  std::uint64_t done = 0;
  while (done < count) {
    const std::uint64_t at = offset + done;
    const std::uint64_t in_block = at % block_size_;
    const std::uint64_t n = std::min<std::uint64_t>(block_size_ - in_block, count - done);
    std::memcpy(&scratch[done],
                file_.data() + std::uint64_t{blocks_[at / block_size_]} * block_size_ + in_block,
                n);
    done += n;
  }
  return scratch;
}

std::uint16_t MsfStream::U16(std::uint64_t offset, const char* what) const {
  std::string scratch;
  const std::string_view bytes = Bytes(offset, 2, scratch, what);
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[0]) |
                                    static_cast<unsigned char>(bytes[1]) << 8);
}

std::uint32_t MsfStream::U32(std::uint64_t offset, const char* what) const {
  std::string scratch;
  return Le32(Bytes(offset, 4, scratch, what).data());
}

std::string MsfStream::ReadAll() const {
  std::string scratch;
  return std::string(Bytes(0, size_, scratch, "the stream"));
}

void MsfStream::Release(std::uint64_t begin, std::uint64_t end) const {
  if (mapped_ == nullptr) return;
  const std::uint64_t first = (begin + block_size_ - 1) / block_size_;
  const std::uint64_t last = std::min<std::uint64_t>(end / block_size_, blocks_.size());
  // Runs of neighbouring blocks go in one call.
  std::uint64_t run = first;
  for (std::uint64_t i = first; i < last; ++i) {
    if (i + 1 == last || blocks_[i + 1] != blocks_[i] + 1) {
      mapped_->Release(static_cast<std::size_t>(std::uint64_t{blocks_[run]} * block_size_),
                       static_cast<std::size_t>((i + 1 - run) * block_size_));
      run = i + 1;
    }
  }
}

MsfFile::MsfFile(std::string_view bytes, const MappedFile* mapped)
    : bytes_(bytes), mapped_(mapped) {
  if (bytes.size() < kMsfMagic.size() || bytes.substr(0, kMsfMagic.size()) != kMsfMagic) {
    if (!bytes.empty() && kMsfMagic.substr(0, bytes.size()) == bytes.substr(0, kMsfMagic.size())) {
      throw MsfDamaged{"it is cut short: " + std::to_string(bytes.size()) +
                       " bytes, too few even for its first header"};
    }
    if (bytes.substr(0, 37) == "Microsoft C/C++ program database 2.00") {
      throw MsfDamaged{
          "it is a program database of the old 2.00 format, which this reader does not read"};
    }
    throw MsfNotMsf{"it does not start with the header of a program database (MSF 7.00)"};
  }
  if (bytes.size() < 56) {
    throw MsfDamaged{"it is cut short: " + std::to_string(bytes.size()) +
                     " bytes, too few even for its first header"};
  }
  block_size_ = Le32(bytes.data() + 32);
  block_count_ = Le32(bytes.data() + 40);
  const std::uint32_t directory_size = Le32(bytes.data() + 44);
  const std::uint32_t block_map = Le32(bytes.data() + 52);
  // 512 to 4096 from the linkers' defaults, larger powers of two for databases past 4 GB.
  if (block_size_ < 512 || block_size_ > (1u << 16) || (block_size_ & (block_size_ - 1)) != 0) {
    throw MsfDamaged{"its block size (" + std::to_string(block_size_) +
                     ") is no size a program database uses"};
  }
  const std::uint64_t claimed = std::uint64_t{block_count_} * block_size_;
  if (claimed > bytes.size()) {
    throw MsfDamaged{"it is cut short: it holds " + std::to_string(claimed) +
                     " bytes and the file has " + std::to_string(bytes.size())};
  }
  if (block_map == 0 || block_map >= block_count_) {
    throw MsfDamaged{"its stream directory's block list lies outside the file"};
  }
  // The directory's block numbers fill at most the one block of the block map.
  const std::uint64_t directory_blocks = BlocksFor(directory_size, block_size_);
  if (directory_size < 4 || directory_blocks > block_size_ / 4 || directory_blocks > block_count_) {
    throw MsfDamaged{"its stream directory's size (" + std::to_string(directory_size) +
                     " bytes) is impossible"};
  }
  directory_.resize(directory_size);
  for (std::uint64_t i = 0; i < directory_blocks; ++i) {
    const std::uint32_t block = Le32(bytes.data() + std::uint64_t{block_map} * block_size_ + i * 4);
    if (block == 0 || block >= block_count_) {
      throw MsfDamaged{"its stream directory lies outside the file"};
    }
    const std::uint64_t n = std::min<std::uint64_t>(block_size_, directory_size - i * block_size_);
    std::memcpy(&directory_[i * block_size_], bytes.data() + std::uint64_t{block} * block_size_, n);
  }
  const std::uint32_t stream_count = Le32(directory_.data());
  if (stream_count > (directory_size - 4) / 4) {
    throw MsfDamaged{"its stream directory claims more streams than it has room for"};
  }
  streams_.resize(stream_count);
  std::uint64_t at = 4 + std::uint64_t{stream_count} * 4;
  for (std::uint32_t i = 0; i < stream_count; ++i) {
    const std::uint32_t size = Le32(directory_.data() + 4 + std::uint64_t{i} * 4);
    streams_[i].size = size;
    streams_[i].first_block = at;
    if (size == kNilStream) continue;
    at += BlocksFor(size, block_size_) * 4;
    if (at > directory_size) {
      throw MsfDamaged{"its stream directory is cut short (stream " + std::to_string(i) + ")"};
    }
  }
}

std::optional<MsfStream> MsfFile::Stream(std::uint32_t index) const {
  if (index >= streams_.size() || streams_[index].size == kNilStream) return std::nullopt;
  const Entry& entry = streams_[index];
  MsfStream stream;
  stream.file_ = bytes_;
  stream.mapped_ = mapped_;
  stream.block_size_ = block_size_;
  stream.size_ = entry.size;
  const std::uint64_t count = BlocksFor(entry.size, block_size_);
  stream.blocks_.resize(count);
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint32_t block = Le32(directory_.data() + entry.first_block + i * 4);
    if (block == 0 || block >= block_count_) {
      throw MsfDamaged{"stream " + std::to_string(index) + " has a block outside the file"};
    }
    stream.blocks_[i] = block;
  }
  return stream;
}
