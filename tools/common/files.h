#pragma once

// Reading and writing an operator's files, every command alike, with errors in the operator's
// words: "there is no such file", "it is a folder, not a file", "permission denied".

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

// A file that could not be read or written; what() is a whole sentence for the operator.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class LineEnds {
  kAsStored,      // the bytes as they are
  kAsTextStream,  // through a text-mode stream, as the plug-in reads its configuration
};

// The whole of a file. Empty when it cannot be read; `why` then says why, when given.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path,
                                         std::string* why = nullptr,
                                         LineEnds ends = LineEnds::kAsStored);

// Why `path` cannot be read as a file ("there is no such file", "it is a folder, not a file"), or
// empty when nothing stands in the way before opening it.
std::string FileToReadProblem(const std::filesystem::path& path);
// Why `path` cannot be used as a folder ("there is no such folder", "it is a file, not a folder"),
// or empty.
std::string FolderProblem(const std::filesystem::path& path);

// The whole of a file, or FileError "cannot read the WHAT PATH: WHY".
std::string ReadFileOrThrow(const std::filesystem::path& path, std::string_view what);

// Standard input to its end. Empty when it cannot be read; `why` then says why, when given.
std::optional<std::string> ReadStandardInput(std::string* why = nullptr);

// Makes or replaces a file with `text`, or throws FileError "cannot write PATH: WHY" (a missing
// folder named as such).
void WriteWholeFile(const std::filesystem::path& path, std::string_view text);

// Why a file operation failed, in the operator's words ("permission denied").
std::string FileProblem(const std::error_code& error);

// A filesystem error of the standard library as "PATH: WHY", without the library's own wording.
std::string FileErrorText(const std::filesystem::filesystem_error& error);
