#pragma once

// The container of a program database: an MSF 7.00 file, which holds numbered streams, each a list
// of fixed-size blocks scattered through the file, found through a stream directory that is itself
// such a list. Every block number and size is checked against the file before it is read.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class MappedFile;

// A damaged file: the reason, as a finding shows it. Thrown inside the readers only; their public
// functions turn it into a result.
struct MsfDamaged {
  std::string reason;
};

class MsfStream {
 public:
  std::uint64_t Size() const { return size_; }
  bool Has(std::uint64_t offset, std::uint64_t count) const {
    return offset <= size_ && count <= size_ - offset;
  }
  // The bytes at [offset, offset + count): where the stream's blocks lie side by side in the file
  // (as a linker mostly writes them), a view into the file; otherwise a copy in `scratch`. Throws
  // MsfDamaged when the range is not within the stream.
  std::string_view Bytes(std::uint64_t offset, std::uint64_t count, std::string& scratch,
                         const char* what) const;
  std::uint16_t U16(std::uint64_t offset, const char* what) const;
  std::uint32_t U32(std::uint64_t offset, const char* what) const;
  std::string ReadAll() const;
  // Tells the file that the stream's blocks wholly within [begin, end) will not be read again
  // soon, so that a walk through a stream of hundreds of megabytes keeps little of it resident.
  void Release(std::uint64_t begin, std::uint64_t end) const;

 private:
  friend class MsfFile;
  std::string_view file_;
  const MappedFile* mapped_ = nullptr;
  std::uint32_t block_size_ = 0;
  std::uint64_t size_ = 0;
  std::vector<std::uint32_t> blocks_;
};

// Releases a stream's bytes behind a walk through it, every 16 MB.
class MsfReleaser {
 public:
  explicit MsfReleaser(const MsfStream& stream) : stream_(stream) {}
  ~MsfReleaser() { stream_.Release(released_, stream_.Size()); }
  MsfReleaser(const MsfReleaser&) = delete;
  MsfReleaser& operator=(const MsfReleaser&) = delete;
  void Passed(std::uint64_t offset) {
    if (offset >= released_ + kStep) {
      stream_.Release(released_, offset);
      released_ = offset;
    }
  }

 private:
  static constexpr std::uint64_t kStep = 16u << 20;
  const MsfStream& stream_;
  std::uint64_t released_ = 0;
};

class MsfFile {
 public:
  static constexpr std::uint32_t kNilStream = 0xFFFFFFFF;

  // Reads the superblock and the stream directory; throws MsfDamaged, or MsfNotMsf for bytes
  // that are no such container at all. `mapped`, when given, holds `bytes` and receives the
  // release hints.
  MsfFile(std::string_view bytes, const MappedFile* mapped);

  std::uint32_t BlockSize() const { return block_size_; }
  std::uint32_t StreamCount() const { return static_cast<std::uint32_t>(streams_.size()); }
  // nullopt for a nil stream or a number past the last; throws MsfDamaged for a stream whose
  // blocks lie outside the file.
  std::optional<MsfStream> Stream(std::uint32_t index) const;

 private:
  struct Entry {
    std::uint32_t size = 0;
    std::uint64_t first_block = 0;  // where its block numbers start in the directory
  };
  std::string_view bytes_;
  const MappedFile* mapped_ = nullptr;
  std::uint32_t block_size_ = 0;
  std::uint32_t block_count_ = 0;
  std::string directory_;  // the directory's bytes, put together from its blocks
  std::vector<Entry> streams_;
};

struct MsfNotMsf {
  std::string reason;
};

inline constexpr std::string_view kMsfMagic(
    "Microsoft C/C++ MSF 7.00\r\n\x1a"
    "DS\0\0\0",
    32);
