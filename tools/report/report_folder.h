#pragma once

// `kestrovar report --out DIR`: DIR may hold anything (the dump files themselves, say); the report
// writes only its own files there. A marker file lists each one it wrote, with its size and a hash
// of its content, and a file of those names is replaced only while it is as a report wrote it.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

// Makes DIR when it is missing; throws FileError naming each report file in DIR that a report did
// not write, or that was changed since, before anything is written.
void PrepareReportFolder(const std::filesystem::path& dir);

// Writes DIR/NAME and lists it in the marker. Throws FileError.
void WriteReportFile(const std::filesystem::path& dir, const std::string& name,
                     std::string_view text);

// Writes DIR/NAME piece by piece (a year's CSV is larger than memory should hold), then lists it
// in the marker at Finish. Throws FileError.
class ReportFileWriter {
 public:
  ReportFileWriter(const std::filesystem::path& dir, std::string name);
  void Append(std::string_view text);
  void Finish();

 private:
  std::filesystem::path dir_;
  std::string name_;
  std::ofstream out_;
  uint64_t size_ = 0;
  uint64_t hash_ = 0;
};

// Lists DIR/NAME, which another program wrote for the report (gnuplot's chart), in the marker.
void RecordReportFile(const std::filesystem::path& dir, const std::string& name);
