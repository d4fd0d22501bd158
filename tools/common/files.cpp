#include "tools/common/files.h"

#include <cerrno>
#include <fstream>
#include <iostream>
#include <iterator>
#include <new>

namespace fs = std::filesystem;

namespace {

// The error that the last failed open left in errno, or a general "cannot be opened".
std::string OpenProblem(int saved_errno, const char* otherwise) {
  return saved_errno != 0 ? FileProblem(std::error_code(saved_errno, std::generic_category()))
                          : otherwise;
}

template <typename Stream>
std::optional<std::string> ReadStream(Stream& in, std::string* why) {
  try {
    // In blocks: a character at a time through stream iterators took most of the time of
    // reading many small files (report's dumps).
    std::string text;
    char block[32768];
    while (true) {
      in.read(block, sizeof block);
      const auto got = static_cast<std::size_t>(in.gcount());
      text.append(block, got);
      if (!in || got == 0) break;
    }
    if (in.bad()) {
      if (why) *why = "it cannot be read";
      return std::nullopt;
    }
    return text;
  } catch (const std::bad_alloc&) {
    if (why) *why = "it is too large to read";
  } catch (const std::exception&) {
    if (why) *why = "it cannot be read";
  }
  return std::nullopt;
}

}  // namespace

std::string FileProblem(const std::error_code& error) {
  if (error == std::errc::no_such_file_or_directory) return "there is no such file or folder";
  if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted)
    return "permission denied";
  if (error == std::errc::is_a_directory) return "it is a folder, not a file";
  if (error == std::errc::not_a_directory) return "a part of the path is a file, not a folder";
  if (error == std::errc::read_only_file_system) return "the file system is read-only";
  if (error == std::errc::no_space_on_device) return "the disk is full";
  if (error == std::errc::file_exists) return "something of that name is there already";
  if (error == std::errc::filename_too_long) return "the name is too long";
  if (error == std::errc::directory_not_empty) return "the folder is not empty";
  if (error == std::errc::too_many_symbolic_link_levels) return "its links go round in a loop";
  // The system's own words, which do not name the library: "Input/output error".
  std::string text = error.message();
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] + 32);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.'))
    text.pop_back();
  return text;
}

std::string FileErrorText(const fs::filesystem_error& error) {
  const std::string reason = FileProblem(error.code());
  if (error.path1().empty()) return "an empty path names no file or folder";
  std::string text = error.path1().string();
  if (!error.path2().empty()) text += " and " + error.path2().string();
  return text + ": " + reason;
}

std::string FileToReadProblem(const fs::path& path) {
  if (path.empty()) return "no file was named (an empty path)";
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (fs::is_directory(status)) return "it is a folder, not a file";
  if (status.type() == fs::file_type::not_found) return "there is no such file";
  if (error) return FileProblem(error);
  return {};
}

std::string FolderProblem(const fs::path& path) {
  if (path.empty()) return "no folder was named (an empty path)";
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (status.type() == fs::file_type::not_found) return "there is no such folder";
  if (error) return FileProblem(error);
  if (!fs::is_directory(status)) return "it is a file, not a folder";
  return {};
}

std::optional<std::string> ReadWholeFile(const fs::path& path, std::string* why, LineEnds ends) {
  auto fail = [why](std::string reason) -> std::optional<std::string> {
    if (why) *why = std::move(reason);
    return std::nullopt;
  };
  if (std::string problem = FileToReadProblem(path); !problem.empty()) return fail(problem);
  errno = 0;
  std::ifstream in(path, ends == LineEnds::kAsStored ? std::ios::binary : std::ios::in);
  if (!in.is_open()) return fail(OpenProblem(errno, "it cannot be opened"));
  return ReadStream(in, why);
}

std::string ReadFileOrThrow(const fs::path& path, std::string_view what) {
  std::string why;
  std::optional<std::string> text = ReadWholeFile(path, &why);
  if (!text)
    throw FileError("cannot read the " + std::string(what) + " " + path.string() + ": " + why);
  return std::move(*text);
}

std::optional<std::string> ReadStandardInput(std::string* why) { return ReadStream(std::cin, why); }

void WriteWholeFile(const fs::path& path, std::string_view text) {
  const auto fail = [&path](const std::string& why) {
    throw FileError("cannot write " + path.string() + ": " + why);
  };
  if (path.empty()) throw FileError("cannot write a file with no name (an empty path)");
  errno = 0;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out.is_open()) {
    const int saved_errno = errno;
    std::error_code error;
    const fs::path folder = path.parent_path();
    if (fs::is_directory(path, error)) fail("it is a folder, not a file");
    if (!folder.empty() && !fs::exists(folder, error) && !error)
      fail("the folder " + folder.string() + " does not exist");
    if (!folder.empty() && fs::exists(folder, error) && !fs::is_directory(folder, error))
      fail(folder.string() + " is a file, not a folder");
    fail(OpenProblem(saved_errno, "it cannot be opened for writing"));
  }
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) fail("it could not be written in full (is the disk full?)");
}
