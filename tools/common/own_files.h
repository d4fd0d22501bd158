#pragma once

// How every command tells the files it wrote from an operator's: a hidden list in the folder
// (simulate's .kestrovar-simulate, report's .kestrovar-report, watch's .kestrovar-prometheus) names
// each file it wrote there, with its size and a hash of its bytes. A file is replaced or deleted
// only while it is listed and still as written; a name that leads out of the folder, or through a
// link, is never followed. A list line that breaks these rules makes the whole list unusable: the
// command refuses, naming the line, and touches nothing.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>

// A list that cannot be trusted, or a listed file that is no longer as written; what() is a
// sentence for the operator.
class OwnFilesError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file as the program wrote it.
struct WrittenFile {
  uint64_t size = 0;
  uint64_t hash = 0;
  bool operator==(const WrittenFile& other) const {
    return size == other.size && hash == other.hash;
  }
};

inline constexpr uint64_t kFingerprintStart = 14695981039346656037ULL;

// FNV-1a over `bytes`, going on from `hash`: enough to tell an edited file from the one written.
uint64_t FingerprintHash(std::string_view bytes, uint64_t hash = kFingerprintStart);
WrittenFile FingerprintOf(std::string_view bytes);
// The file's size and hash, read in blocks; empty when it cannot be read.
std::optional<WrittenFile> FingerprintOfFile(const std::filesystem::path& path);

// What the program wrote in a folder: paths relative to it, '/' between their parts.
struct OwnList {
  std::map<std::string, WrittenFile> files;
  std::set<std::string> folders;
};

// Why a listed name may not be used, or empty: it must name something inside the folder (no
// absolute path, no "..", no "." or empty part, no line end, no backslash).
std::string ListedNameProblem(std::string_view name);

struct ReadList {
  bool present = false;  // a list file is there
  bool headed = false;   // it starts with `head` (else it is an earlier version's, or not ours)
  OwnList list;
};

// Reads DIR/LIST_NAME, whose first line must be `head`. Throws OwnFilesError "LIST line N: WHY"
// for a line that is no entry or names something outside DIR.
ReadList ReadOwnList(const std::filesystem::path& dir, std::string_view list_name,
                     std::string_view head);
// Writes DIR/LIST_NAME. Throws FileError.
void WriteOwnList(const std::filesystem::path& dir, std::string_view list_name,
                  std::string_view head, const OwnList& list);

// Whether a part of the way from DIR to DIR/NAME (NAME itself included) is a link: such a name is
// never used, since it may lead outside DIR.
bool LinkOnTheWay(const std::filesystem::path& dir, std::string_view name);

// Whether DIR/NAME is a regular file, reached without a link, that is as `written` says.
bool IsAsWritten(const std::filesystem::path& dir, std::string_view name,
                 const WrittenFile& written);

// Deletes DIR/NAME when it is as `written` says; a file gone already is fine. Throws
// OwnFilesError when it is there and changed (or a link), FileError when it cannot be deleted.
void DeleteIfAsWritten(const std::filesystem::path& dir, std::string_view name,
                       const WrittenFile& written);
