#include "tools/doctor/mapped_file.h"

#include <algorithm>
#include <system_error>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

#ifdef _WIN32

std::unique_ptr<MappedFile> MappedFile::Open(const std::filesystem::path& path,
                                             std::string& problem) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    problem = std::system_category().message(static_cast<int>(GetLastError()));
    return nullptr;
  }
  std::unique_ptr<MappedFile> mapped(new MappedFile());
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) {
    problem = std::system_category().message(static_cast<int>(GetLastError()));
    CloseHandle(file);
    return nullptr;
  }
  if (static_cast<unsigned long long>(size.QuadPart) > SIZE_MAX) {
    problem = "it is too large to map";
    CloseHandle(file);
    return nullptr;
  }
  if (size.QuadPart == 0) {  // an empty file cannot be mapped; it has no bytes to read anyway
    CloseHandle(file);
    return mapped;
  }
  const HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  CloseHandle(file);
  if (mapping == nullptr) {
    problem = std::system_category().message(static_cast<int>(GetLastError()));
    return nullptr;
  }
  const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  if (view == nullptr) {
    problem = std::system_category().message(static_cast<int>(GetLastError()));
    CloseHandle(mapping);
    return nullptr;
  }
  mapped->mapping_ = mapping;
  mapped->data_ = static_cast<const char*>(view);
  mapped->size_ = static_cast<std::size_t>(size.QuadPart);
  return mapped;
}

MappedFile::~MappedFile() {
  if (data_ != nullptr) UnmapViewOfFile(data_);
  if (mapping_ != nullptr) CloseHandle(mapping_);
}

// Windows trims a mapped view's pages from the working set by itself when memory is short.
void MappedFile::Release(std::size_t, std::size_t) const {}

#else

std::unique_ptr<MappedFile> MappedFile::Open(const std::filesystem::path& path,
                                             std::string& problem) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    problem = std::strerror(errno);
    return nullptr;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    problem = S_ISDIR(info.st_mode) ? "it is a folder" : "it is not a regular file";
    ::close(fd);
    return nullptr;
  }
  std::unique_ptr<MappedFile> mapped(new MappedFile());
  if (info.st_size == 0) {
    ::close(fd);
    return mapped;
  }
  const std::size_t size = static_cast<std::size_t>(info.st_size);
  void* data = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  ::close(fd);
  if (data == MAP_FAILED) {
    problem = std::strerror(errno);
    return nullptr;
  }
  mapped->data_ = static_cast<const char*>(data);
  mapped->size_ = size;
  return mapped;
}

MappedFile::~MappedFile() {
  if (data_ != nullptr) ::munmap(const_cast<char*>(data_), size_);
}

void MappedFile::Release(std::size_t offset, std::size_t length) const {
  // Whole pages within the range only.
  const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  if (offset > size_ || page == 0) return;
  const std::size_t base = reinterpret_cast<std::size_t>(data_);
  std::size_t begin = (base + offset + page - 1) / page * page;
  std::size_t end = (base + offset + std::min(length, size_ - offset)) / page * page;
  if (end > begin) {
    ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
  }
}

#endif
