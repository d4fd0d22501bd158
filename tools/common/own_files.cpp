#include "tools/common/own_files.h"

#include <fmt/format.h>

#include <cerrno>
#include <charconv>
#include <fstream>
#include <system_error>

#include "tools/common/files.h"
#include "tools/common/text_bytes.h"

namespace fs = std::filesystem;

uint64_t FingerprintHash(std::string_view bytes, uint64_t hash) {
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ULL;
  }
  return hash;
}

WrittenFile FingerprintOf(std::string_view bytes) {
  return WrittenFile{bytes.size(), FingerprintHash(bytes)};
}

std::optional<WrittenFile> FingerprintOfFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  WrittenFile written{0, kFingerprintStart};
  char block[1 << 15];
  while (true) {
    in.read(block, sizeof block);
    const auto got = static_cast<std::size_t>(in.gcount());
    written.hash = FingerprintHash(std::string_view(block, got), written.hash);
    written.size += got;
    if (!in || got == 0) break;
  }
  if (in.bad()) return std::nullopt;
  return written;
}

std::string ListedNameProblem(std::string_view name) {
  if (name.empty()) return "no name";
  if (name.find_first_of("\n\r") != std::string_view::npos) return "a line end in the name";
  // A backslash is a separator on Windows: "..\x" would leave the folder there.
  if (name.find('\\') != std::string_view::npos) return "a backslash in the name";
  if (name.front() == '/' || fs::path(std::string(name)).has_root_name() ||
      fs::path(std::string(name)).is_absolute()) {
    return "an absolute path, outside the folder";
  }
  std::size_t at = 0;
  while (at <= name.size()) {
    const std::size_t end = std::min(name.find('/', at), name.size());
    const std::string_view part = name.substr(at, end - at);
    if (part == "..") return "\"..\" leads outside the folder";
    if (part.empty() || part == ".") return "an empty or \".\" part in the path";
    // "C:" on Windows is a drive, whatever follows.
    if (part.find(':') != std::string_view::npos) return "a \":\" in the name";
    at = end + 1;
  }
  return {};
}

namespace {

bool ReadHex(std::string_view text, uint64_t& value) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  return error == std::errc() && end == text.data() + text.size();
}

bool ReadDecimal(std::string_view text, uint64_t& value) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  return error == std::errc() && end == text.data() + text.size();
}

// The next word of `line` (up to a space), taken off it.
std::string_view Word(std::string_view& line) {
  const std::size_t end = line.find(' ');
  const std::string_view word = line.substr(0, end);
  line = end == std::string_view::npos ? std::string_view() : line.substr(end + 1);
  return word;
}

}  // namespace

ReadList ReadOwnList(const fs::path& dir, std::string_view list_name, std::string_view head) {
  ReadList read;
  const fs::path path = dir / std::string(list_name);
  std::error_code error;
  const fs::file_status status = fs::symlink_status(path, error);
  if (!fs::exists(status)) return read;
  read.present = true;
  if (!fs::is_regular_file(status)) {
    throw OwnFilesError(fmt::format("{} is not the list of what kestrovar wrote (it is {})",
                                    path.string(),
                                    fs::is_symlink(status) ? "a link" : "not a file"));
  }
  std::string why;
  const std::optional<std::string> text = ReadWholeFile(path, &why);
  if (!text) throw OwnFilesError("cannot read " + path.string() + ": " + why);
  std::string_view rest = *text;
  int number = 0;
  const auto bad = [&](std::string_view line, const std::string& what) {
    throw OwnFilesError(fmt::format(
        "{} line {}: {}: \"{}\". The list cannot be trusted, so nothing was deleted or replaced; "
        "move the folder's files away yourself, or give another folder",
        path.string(), number, what, Shortened(PrintableText(line), 80)));
  };
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    ++number;
    if (number == 1) {
      if (line != head) return read;
      read.headed = true;
      continue;
    }
    if (line.empty()) continue;
    const std::string_view whole = line;
    const std::string_view kind = Word(line);
    if (kind == "folder") {
      if (const std::string problem = ListedNameProblem(line); !problem.empty())
        bad(whole, problem);
      read.list.folders.emplace(line);
    } else if (kind == "file") {
      WrittenFile written;
      if (!ReadDecimal(Word(line), written.size) || !ReadHex(Word(line), written.hash)) {
        bad(whole, "no \"file SIZE HASH NAME\" entry");
      }
      if (const std::string problem = ListedNameProblem(line); !problem.empty())
        bad(whole, problem);
      read.list.files[std::string(line)] = written;
    } else {
      bad(whole, "no \"file SIZE HASH NAME\" or \"folder NAME\" entry");
    }
  }
  return read;
}

void WriteOwnList(const fs::path& dir, std::string_view list_name, std::string_view head,
                  const OwnList& list) {
  std::string text = std::string(head) + "\n";
  for (const auto& folder : list.folders) text += "folder " + folder + "\n";
  for (const auto& [name, written] : list.files) {
    text += fmt::format("file {} {:016x} {}\n", written.size, written.hash, name);
  }
  WriteWholeFile(dir / std::string(list_name), text);
}

bool LinkOnTheWay(const fs::path& dir, std::string_view name) {
  fs::path path = dir;
  std::error_code error;
  for (const fs::path& part : fs::path(std::string(name))) {
    path /= part;
    if (fs::is_symlink(fs::symlink_status(path, error))) return true;
  }
  return false;
}

bool IsAsWritten(const fs::path& dir, std::string_view name, const WrittenFile& written) {
  if (!ListedNameProblem(name).empty() || LinkOnTheWay(dir, name)) return false;
  const fs::path path = dir / std::string(name);
  std::error_code error;
  if (!fs::is_regular_file(fs::symlink_status(path, error))) return false;
  const std::optional<WrittenFile> now = FingerprintOfFile(path);
  return now && *now == written;
}

void DeleteIfAsWritten(const fs::path& dir, std::string_view name, const WrittenFile& written) {
  const fs::path path = dir / std::string(name);
  if (const std::string problem = ListedNameProblem(name); !problem.empty()) {
    throw OwnFilesError("\"" + PrintableText(name) + "\" was not deleted: " + problem);
  }
  std::error_code error;
  if (!LinkOnTheWay(dir, name) && !fs::exists(fs::symlink_status(path, error))) {
    return;  // gone already
  }
  if (!IsAsWritten(dir, name, written)) {
    throw OwnFilesError(path.string() +
                        " was not deleted: it is no longer as kestrovar wrote it (or a link leads "
                        "to it)");
  }
  if (!fs::remove(path, error) && error) {
    throw FileError("cannot delete " + path.string() + ": " + FileProblem(error));
  }
}
