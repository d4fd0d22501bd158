#pragma once

// The host's log sinks, shared with the plug-in's logger: standard output (optional), the server's
// log file DIR/logs/server.log, and a capture of every entry for tests (logger name, level,
// message).

#include <spdlog/sinks/base_sink.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "devserver/control/server.h"

namespace devserver {

class HostSink : public spdlog::sinks::base_sink<std::mutex> {
 public:
  HostSink();
  // A logger that shares the sink installs its own formatter in it. Once that logger's library is
  // released the formatter's code is gone: it is left alone (never called, never destroyed) and the
  // host's own formatter takes its place. Whether there was such a formatter to forget.
  bool ForgetForeignFormatter();

 protected:
  // A pattern given to the sink makes a formatter of the host's own code.
  void set_pattern_(const std::string& pattern) override;

 private:
  const spdlog::formatter* own_formatter_ = nullptr;
};

class StdoutSink final : public HostSink {
 protected:
  void sink_it_(const spdlog::details::log_msg& msg) override;
  void flush_() override;
};

class FileSink final : public HostSink {
 public:
  // Appends to `path`; throws std::runtime_error when it cannot be opened.
  explicit FileSink(const std::string& path);
  ~FileSink() override;

 protected:
  void sink_it_(const spdlog::details::log_msg& msg) override;
  void flush_() override;

 private:
  std::FILE* file_ = nullptr;
};

class CaptureSink final : public HostSink {
 public:
  std::vector<LogEntry> Entries();
  void Clear();

 protected:
  void sink_it_(const spdlog::details::log_msg& msg) override;
  void flush_() override {}

 private:
  std::vector<LogEntry> entries_;
};

struct HostSinks {
  HostSinks(const std::string& server_dir, bool to_stdout);
  // How many sinks still held a formatter of a released library.
  int ForgetForeignFormatters();

  std::shared_ptr<CaptureSink> capture;
  std::vector<std::shared_ptr<HostSink>> own;  // every sink, for the host's housekeeping
  std::vector<std::shared_ptr<spdlog::sinks::sink>> list;  // what GetLogSinks() hands out
};

}  // namespace devserver
