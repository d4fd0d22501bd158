#include "tools/doctor/server_files.h"

#include <exception>
#include <fstream>
#include <system_error>

namespace {

// Larger than any library a server holds; a bigger "DLL" is not read into memory.
constexpr std::uintmax_t kMaxFileSize = 1ull << 30;

}  // namespace

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

FileBytes ReadWholeFile(const std::filesystem::path& path) {
  FileBytes file;
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (error || !std::filesystem::exists(status)) {
    file.outcome = error && error != std::errc::no_such_file_or_directory
                       ? FileBytes::Outcome::kUnreadable
                       : FileBytes::Outcome::kMissing;
    file.problem = error && file.outcome == FileBytes::Outcome::kUnreadable
                       ? "it cannot be read: " + error.message()
                       : "there is no such file";
    return file;
  }
  if (std::filesystem::is_directory(status)) {
    file.outcome = FileBytes::Outcome::kFolder;
    file.problem = "it is a folder, not a file";
    return file;
  }
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (!error && size > kMaxFileSize) {
    file.outcome = FileBytes::Outcome::kUnreadable;
    file.problem = "it is larger than any library (" + std::to_string(size) + " bytes)";
    return file;
  }
  // Read in one piece: libraries run to megabytes, and a character at a time is slow.
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  const std::streamoff length = in ? static_cast<std::streamoff>(in.tellg()) : -1;
  if (length >= 0 && static_cast<std::uintmax_t>(length) <= kMaxFileSize) {
    file.bytes.resize(static_cast<std::size_t>(length));
    in.seekg(0);
    in.read(file.bytes.data(), length);
  }
  if (!in || length < 0) {
    file.outcome = FileBytes::Outcome::kUnreadable;
    file.problem = "it cannot be read (no permission, or not a regular file)";
    file.bytes.clear();
    return file;
  }
  file.outcome = FileBytes::Outcome::kRead;
  return file;
}

std::optional<std::filesystem::path> FindInFolder(const std::filesystem::path& folder,
                                                  const std::string& name) {
  std::error_code error;
  const std::filesystem::path exact = folder / name;
  if (std::filesystem::exists(exact, error)) return exact;
  const std::string wanted = LowerAscii(name);
  try {
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
      if (LowerAscii(entry->path().filename().string()) == wanted) return entry->path();
    }
  } catch (const std::exception&) {
    // A name that this system cannot spell: not the one looked for.
  }
  return std::nullopt;
}

std::vector<std::filesystem::path> FoldersIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> folders;
  std::error_code error;
  for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    std::error_code kind_error;
    if (entry->is_directory(kind_error)) folders.push_back(entry->path());
  }
  return folders;
}
