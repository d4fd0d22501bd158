#pragma once

// The doctor's access to a server folder: whole files read into memory, and names looked up as
// Windows does, without regard to letter case (a copy of the folder on another system keeps the
// names' letters as they were).

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct FileBytes {
  enum class Outcome { kRead, kMissing, kFolder, kUnreadable };
  Outcome outcome = Outcome::kMissing;
  std::string bytes;
  std::string problem;  // why it was not read, for the finding: "it is a folder, not a file"
};

// Reads a file whole. Never throws for a missing, odd or unreadable path.
FileBytes ReadWholeFile(const std::filesystem::path& path);

// The entry of `folder` named `name`, letter case aside; exact matches win.
std::optional<std::filesystem::path> FindInFolder(const std::filesystem::path& folder,
                                                  const std::string& name);

// The folders directly inside `folder` (none when it cannot be listed).
std::vector<std::filesystem::path> FoldersIn(const std::filesystem::path& folder);

// ASCII letters made small, as Windows compares DLL names.
std::string LowerAscii(std::string text);
