#pragma once

// `kestrovar report --out DIR`: DIR may hold anything (the dump files themselves, say); the report
// writes only its own files there. A marker file lists each one it wrote, with its size and a hash
// of its content, and a file of those names is replaced only while it is as a report wrote it.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>

#include "tools/common/own_files.h"

// Makes DIR when it is missing; throws FileError naming each report file in DIR that a report did
// not write, or that was changed since, before anything is written.
// `known`: files whose size and hash the caller knows and vouches for (written by it since the last
// full check, their size and time of change unchanged): they are not hashed again when the list
// holds them so.
void PrepareReportFolder(const std::filesystem::path& dir,
                         const std::map<std::string, WrittenFile>& known = {});

// Writes DIR/NAME and lists it in the marker. Throws FileError.
void WriteReportFile(const std::filesystem::path& dir, const std::string& name,
                     std::string_view text);

// Writes DIR/NAME piece by piece (a year's CSV is larger than memory should hold), then lists it
// in the marker at Finish. Throws FileError.
class ReportFileWriter {
 public:
  ReportFileWriter(const std::filesystem::path& dir, std::string name);
  // Goes on at the end of DIR/NAME, which holds `so_far` as written.
  ReportFileWriter(const std::filesystem::path& dir, std::string name, const WrittenFile& so_far);
  ReportFileWriter(ReportFileWriter&&) = default;
  void Append(std::string_view text);
  void Finish();
  WrittenFile written() const { return WrittenFile{size_, hash_}; }

 private:
  std::filesystem::path dir_;
  std::string name_;
  std::ofstream out_;
  uint64_t size_ = 0;
  uint64_t hash_ = 0;
};

// Lists DIR/NAME, which another program wrote for the report (gnuplot's chart), in the marker.
void RecordReportFile(const std::filesystem::path& dir, const std::string& name);
