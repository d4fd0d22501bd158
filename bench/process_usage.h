#pragma once

// What the benchmark's process has used so far, for counters beside the times (Linux: the
// benchmarks are built natively only).

#include <sys/resource.h>

#include <fstream>
#include <string>

// The peak resident memory in MB (VmHWM; /proc/self/clear_refs with "5" restarts it).
inline double PeakResidentMb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024;
  }
  return 0;
}

// User and system time of the process, in seconds.
inline double ProcessorSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
