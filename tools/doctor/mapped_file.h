#pragma once

// A file's bytes mapped read-only into memory, for readers of files too large to copy (a server's
// program database can pass a gigabyte). Pages are read in as they are touched; Release tells the
// system that a range will not be read again soon, so that a reader walking the file once keeps
// little of it resident.

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

class MappedFile {
 public:
  // The file mapped, or nullptr with `problem` saying why (no such file, a folder, no access).
  static std::unique_ptr<MappedFile> Open(const std::filesystem::path& path, std::string& problem);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  std::string_view Bytes() const { return {data_, size_}; }
  // A hint only: the bytes stay readable, from the system's file cache when touched again.
  void Release(std::size_t offset, std::size_t length) const;

 private:
  MappedFile() = default;
  const char* data_ = nullptr;
  std::size_t size_ = 0;
#ifdef _WIN32
  void* mapping_ = nullptr;
#endif
};
