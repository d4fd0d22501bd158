#pragma once

// `kestrovar simulate --out DIR`: the folder is the program's own. A marker file in DIR and one in
// DIR/server list every file and folder the last run wrote there, each file with its size and a
// hash of its content. The next run deletes or replaces only what is listed, and only while each
// file is as the run wrote it; anything else (an operator's file, an edited config.json) makes it
// refuse the folder, naming what is there, and touch nothing.

#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

// A folder the run may not use, or a file system error, in the operator's words.
class OutputFolderError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Makes DIR ready for a run: new, empty, or as an earlier run left it (its files then deleted).
// Returns DIR/server, made afresh with an empty list. Throws OutputFolderError.
std::filesystem::path PrepareOutputFolder(const std::filesystem::path& dir);

// Lists in DIR/server's marker everything now in that folder: the run made it (the folder was
// empty when the run began). Throws OutputFolderError.
void RecordServerFolder(const std::filesystem::path& server);

// Lists in DIR's marker those of `names` (files directly in DIR) that exist now. Throws
// OutputFolderError.
void RecordOutputFiles(const std::filesystem::path& dir, const std::vector<std::string>& names);
