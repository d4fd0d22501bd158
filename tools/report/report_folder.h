#pragma once

// `kestrovar report --out DIR`: DIR may hold anything (the dump files themselves, say); the report
// writes only its own files there. A marker file lists each one it wrote, with its size and a hash
// of its content, and a file of those names is replaced only while it is as a report wrote it.

#include <filesystem>
#include <string>
#include <string_view>

// Makes DIR when it is missing; throws FileError naming each report file in DIR that a report did
// not write, or that was changed since, before anything is written.
void PrepareReportFolder(const std::filesystem::path& dir);

// Writes DIR/NAME and lists it in the marker. Throws FileError.
void WriteReportFile(const std::filesystem::path& dir, const std::string& name,
                     std::string_view text);

// Lists DIR/NAME, which another program wrote for the report (gnuplot's chart), in the marker.
void RecordReportFile(const std::filesystem::path& dir, const std::string& name);
