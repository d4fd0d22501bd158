#include "devserver/host/log_sinks.h"

#include <spdlog/pattern_formatter.h>

#include <filesystem>
#include <stdexcept>

namespace devserver {

HostSink::HostSink() { own_formatter_ = formatter_.get(); }

bool HostSink::ForgetForeignFormatter() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (formatter_.get() == own_formatter_) return false;
  static_cast<void>(formatter_.release());
  formatter_ = std::make_unique<spdlog::pattern_formatter>();
  own_formatter_ = formatter_.get();
  return true;
}

void HostSink::set_pattern_(const std::string& pattern) {
  base_sink::set_pattern_(pattern);
  own_formatter_ = formatter_.get();
}

void StdoutSink::sink_it_(const spdlog::details::log_msg& msg) {
  spdlog::memory_buf_t formatted;
  formatter_->format(msg, formatted);
  std::fwrite(formatted.data(), 1, formatted.size(), stdout);
}

void StdoutSink::flush_() { std::fflush(stdout); }

FileSink::FileSink(const std::string& path) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  file_ = std::fopen(path.c_str(), "ab");
  if (file_ == nullptr) throw std::runtime_error("cannot open the server log " + path);
}

FileSink::~FileSink() {
  if (file_ != nullptr) std::fclose(file_);
}

void FileSink::sink_it_(const spdlog::details::log_msg& msg) {
  spdlog::memory_buf_t formatted;
  formatter_->format(msg, formatted);
  std::fwrite(formatted.data(), 1, formatted.size(), file_);
}

void FileSink::flush_() { std::fflush(file_); }

void CaptureSink::sink_it_(const spdlog::details::log_msg& msg) {
  const auto level = spdlog::level::to_string_view(msg.level);
  entries_.push_back({std::string(msg.logger_name.data(), msg.logger_name.size()),
                      std::string(level.data(), level.size()),
                      std::string(msg.payload.data(), msg.payload.size())});
}

std::vector<LogEntry> CaptureSink::Entries() {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_;
}

void CaptureSink::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.clear();
}

HostSinks::HostSinks(const std::string& server_dir, bool to_stdout) {
  if (to_stdout) own.push_back(std::make_shared<StdoutSink>());
  own.push_back(std::make_shared<FileSink>(server_dir + "/logs/server.log"));
  capture = std::make_shared<CaptureSink>();
  own.push_back(capture);
  list.assign(own.begin(), own.end());
}

int HostSinks::ForgetForeignFormatters() {
  int forgotten = 0;
  for (const auto& sink : own) forgotten += sink->ForgetForeignFormatter() ? 1 : 0;
  return forgotten;
}

}  // namespace devserver
